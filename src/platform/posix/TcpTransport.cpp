// TCP connections of the HTTP client over POSIX sockets (IPv4 only, as the client resolves
// names to IPv4 addresses).

#include "platform/Platform.h"
#include "platform/Policy.h"

#include "core/online/Transport.h"
#include "core/text/TextRules.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace larkspan::platform {

namespace {

using online::EIdSocketError;
using online::EIdSocketTimeout;

// The texts the client reports for the errors it meets most; others use the system's text.
// Fixed English texts, since the GUI may switch the C library to the user's language.
std::string SocketErrorText(int error) {
    switch (error) {
    case ECONNREFUSED:
        return "Connection refused.";
    case ECONNRESET:
        return "Connection reset by peer.";
    case ETIMEDOUT:
        return "Connection timed out.";
    case EHOSTUNREACH:
        return "No route to host.";
    case ENETUNREACH:
        return "Network is unreachable.";
    case ENETDOWN:
        return "Network is down.";
    case EPIPE:
        return "Broken pipe.";
    case ECONNABORTED:
        return "Software caused connection abort.";
    case EADDRNOTAVAIL:
        return "Cannot assign requested address.";
    case ENOTCONN:
        return "Socket is not connected.";
    default: {
        char buffer[256];
        const char* text = strerror_r(error, buffer, sizeof buffer);
        return std::string(text) + ".";
    }
    }
}

[[noreturn]] void ThrowSocketError(int error) {
    if (error == ETIMEDOUT) {
        throw EIdSocketTimeout(error, SocketErrorText(error));
    }
    throw EIdSocketError(error, SocketErrorText(error));
}

// Name-resolution failures carry the resolver's classic numbers (HOST_NOT_FOUND, TRY_AGAIN,
// NO_RECOVERY), since there is no errno for them.
[[noreturn]] void ThrowResolveError(int gaiError, int savedErrno) {
    switch (gaiError) {
    case EAI_AGAIN:
        throw EIdSocketError(TRY_AGAIN, "Non-authoritative host not found.");
    case EAI_FAIL:
        throw EIdSocketError(NO_RECOVERY, "This is a non-recoverable error.");
    case EAI_SYSTEM:
        ThrowSocketError(savedErrno);
    default:
        throw EIdSocketError(HOST_NOT_FOUND, "Host not found.");
    }
}

in_addr ResolveIPv4(const std::string& host) {
    in_addr address{};
    if (LowerAscii(host) == "localhost") {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) {
        return address;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    const int savedErrno = errno;
    if (rc != 0 || found == nullptr) {
        ThrowResolveError(rc == 0 ? EAI_NONAME : rc, savedErrno);
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

using SteadyClock = std::chrono::steady_clock;

// poll() with a limit that survives EINTR. Returns false when the limit ran out.
bool WaitFor(int fd, short events, int timeoutMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                    .count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{fd, events, 0};
        const int rc = poll(&p, 1, wait);
        if (rc > 0) {
            return true; // ready, or an error/hang-up the next call will report
        }
        if (rc == 0) {
            return false;
        }
        if (errno != EINTR) {
            ThrowSocketError(errno);
        }
    }
}

// WaitFor in slices of online::kWaitSliceMs, calling `wait` after each one that ends without
// the socket being ready; the limit counts the time spent in `wait` as well.
bool WaitInSlices(int fd, short events, int timeoutMs, const online::WaitHook& wait) {
    if (!wait) {
        return WaitFor(fd, events, timeoutMs);
    }
    return policy::WaitInSlices(
        timeoutMs, online::kWaitSliceMs, [&](int ms) { return WaitFor(fd, events, ms); }, wait);
}

class TcpConnection final : public online::Connection {
public:
    explicit TcpConnection(int fd) : fd_(fd) {}
    ~TcpConnection() override { Close(); }

    void SendAll(const char* data, std::size_t size, int timeoutMs) override {
        while (size > 0) {
            if (!WaitFor(Fd(), POLLOUT, timeoutMs)) {
                ThrowSocketError(ETIMEDOUT);
            }
            // MSG_NOSIGNAL: a peer that has gone away gives EPIPE here instead of killing the
            // process with SIGPIPE.
            const ssize_t sent = send(fd_, data, size, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                    continue;
                }
                ThrowSocketError(errno);
            }
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
    }

    std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) override {
        // Data already there is taken at once, without a poll(): one system call less per piece.
        for (;;) {
            const ssize_t got = recv(Fd(), buffer, size, 0);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                ThrowSocketError(errno);
            }
            if (!WaitFor(fd_, POLLIN, timeoutMs)) {
                ThrowSocketError(ETIMEDOUT);
            }
        }
    }

    void Close() override {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    // Fresh memory is otherwise mapped one 4 KiB page fault at a time, the largest cost of a big
    // download. Pages are still mapped only as the body reaches them, so memory follows the bytes.
    // Only a hint: a failure, or a system without transparent huge pages, keeps 4 KiB pages.
    void PrepareReceiveBuffer(char* data, std::size_t size) override {
        constexpr std::size_t kWorthIt = 4u << 20;
        if (size < kWorthIt) {
            return;
        }
        const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
        const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
        if (end <= begin) {
            return;
        }
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }

private:
    int Fd() const {
        if (fd_ < 0) {
            ThrowSocketError(ENOTCONN);
        }
        return fd_;
    }

    int fd_;
};

} // namespace

std::unique_ptr<online::Connection> ConnectTcp(const std::string& host, std::uint16_t port,
                                               int timeoutMs, const online::WaitHook& wait) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr = ResolveIPv4(host);

    // Non-blocking from the start: connect() then honours the limit, and send/recv never block
    // past the poll() that guards them.
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ThrowSocketError(errno);
    }
    auto connection = std::make_unique<TcpConnection>(fd);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            ThrowSocketError(errno);
        }
        if (!WaitInSlices(fd, POLLOUT, timeoutMs, wait)) {
            ThrowSocketError(ETIMEDOUT);
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            ThrowSocketError(errno);
        }
        if (error != 0) {
            ThrowSocketError(error);
        }
    }
    // Requests are written as a head and a body; do not hold the body back for the head's ACK.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return connection;
}

} // namespace larkspan::platform
