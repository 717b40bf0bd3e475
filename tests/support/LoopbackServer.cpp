#include "support/LoopbackServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace larkspan::testing {

// The few socket calls whose form differs between POSIX and Winsock. Sockets are never
// inherited by programs the tests start.
namespace {

#ifdef _WIN32
struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

SocketHandle OpenStreamSocket() {
    static const Winsock started;
    return static_cast<SocketHandle>(
        WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
}
SocketHandle AcceptConnection(SocketHandle listener) {
    const SOCKET accepted = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) {
        return -1;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
    // Under wine, shutting a socket down does not always wake a send blocked on a client that
    // stopped reading (seen once in a loaded run: the server never ended). A send that waits
    // this long has lost its client anyway; no test keeps a client idle for so long.
    const DWORD sendLimitMs = 15000;
    setsockopt(accepted, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendLimitMs),
               sizeof sendLimitMs);
    return static_cast<SocketHandle>(accepted);
}
bool RetryAccept() {
    return WSAGetLastError() == WSAECONNRESET;
}
void CloseSocket(SocketHandle socket) {
    closesocket(static_cast<SOCKET>(socket));
}
bool WaitReadable(SocketHandle socket, int timeoutMs) {
    WSAPOLLFD p{static_cast<SOCKET>(socket), POLLIN, 0};
    return WSAPoll(&p, 1, timeoutMs) > 0;
}
long Receive(SocketHandle socket, char* buffer, std::size_t size) {
    return recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
}
long SendSome(SocketHandle socket, const char* data, std::size_t size) {
    return send(static_cast<SOCKET>(socket), data,
                static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
}
template <typename T> void SetOption(SocketHandle socket, int level, int name, const T& value) {
    setsockopt(static_cast<SOCKET>(socket), level, name, reinterpret_cast<const char*>(&value),
               sizeof value);
}
void ShutdownBoth(SocketHandle socket) {
    shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}
// A listening socket cannot be shut down on Windows; closing it ends a blocked accept().
bool InterruptAccept(SocketHandle listener) {
    CloseSocket(listener);
    return true;
}
bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
}
using AddressLength = int;
#else
SocketHandle OpenStreamSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
SocketHandle AcceptConnection(SocketHandle listener) {
    return accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
}
bool RetryAccept() {
    return errno == EINTR || errno == ECONNABORTED;
}
void CloseSocket(SocketHandle socket) {
    ::close(static_cast<int>(socket));
}
bool WaitReadable(SocketHandle socket, int timeoutMs) {
    pollfd p{static_cast<int>(socket), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}
long Receive(SocketHandle socket, char* buffer, std::size_t size) {
    return recv(static_cast<int>(socket), buffer, size, 0);
}
long SendSome(SocketHandle socket, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t sent = send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
        if (sent >= 0 || errno != EINTR) {
            return sent;
        }
    }
}
template <typename T> void SetOption(SocketHandle socket, int level, int name, const T& value) {
    setsockopt(static_cast<int>(socket), level, name, &value, sizeof value);
}
void ShutdownBoth(SocketHandle socket) {
    shutdown(static_cast<int>(socket), SHUT_RDWR);
}
// Shutting the listening socket down ends a blocked accept(); it is closed afterwards.
bool InterruptAccept(SocketHandle listener) {
    ShutdownBoth(listener);
    return false;
}
bool UnderWine() {
    return false;
}
using AddressLength = socklen_t;
#endif

} // namespace

namespace {

std::string LowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

std::size_t ContentLengthOf(const std::string& head) {
    const std::string lower = LowerAscii(head);
    const auto at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) {
        return 0;
    }
    std::size_t p = at + 17;
    while (p < head.size() && head[p] == ' ') {
        ++p;
    }
    std::size_t value = 0;
    while (p < head.size() && head[p] >= '0' && head[p] <= '9') {
        value = value * 10 + static_cast<std::size_t>(head[p] - '0');
        ++p;
    }
    return value;
}

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

// ---- ServerSide -------------------------------------------------------------------------------

ServerSide::ServerSide(SocketHandle fd, LoopbackServer& server) : fd_(fd), server_(server) {}

ServerSide::~ServerSide() {
    Close();
}

std::string ServerSide::ReadRequest(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto receiveMore = [&]() {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || fd_ < 0) {
            return false;
        }
        if (!WaitReadable(fd_, static_cast<int>(left))) {
            return false;
        }
        char buffer[65536];
        const long got = Receive(fd_, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
        return true;
    };
    std::size_t headEnd;
    while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos) {
        if (!receiveMore()) {
            return {};
        }
    }
    const std::size_t total = headEnd + 4 + ContentLengthOf(pending_.substr(0, headEnd + 2));
    while (pending_.size() < total) {
        if (!receiveMore()) {
            break;
        }
    }
    const std::string request = pending_.substr(0, std::min(total, pending_.size()));
    pending_.erase(0, request.size());
    server_.Record(request);
    return request;
}

bool ServerSide::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        if (fd_ < 0) {
            return false;
        }
        const long sent = SendSome(fd_, bytes.data(), bytes.size());
        if (sent < 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool ServerSide::SendThrottled(std::string_view data, std::uint64_t bytesPerSecond) {
    if (bytesPerSecond == 0) {
        return Send(data);
    }
    // Ten pieces a second, as SendPattern sends them.
    const std::size_t piece = std::max<std::size_t>(1, bytesPerSecond / 10);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t sent = 0; sent < data.size();) {
        const std::size_t n = std::min(piece, data.size() - sent);
        if (!Send(data.substr(sent, n))) {
            return false;
        }
        sent += n;
        std::this_thread::sleep_until(start +
                                      std::chrono::microseconds(sent * 1000000 / bytesPerSecond));
    }
    return true;
}

bool ServerSide::SendPattern(std::uint64_t size, std::uint64_t bytesPerSecond) {
    static const std::string pattern = [] {
        std::string p(1 << 20, '\0');
        for (std::size_t i = 0; i < p.size(); ++i) {
            p[i] = static_cast<char>('a' + i % 26);
        }
        return p;
    }();
    // A throttled server sends ten pieces a second.
    const std::uint64_t piece =
        bytesPerSecond > 0 ? std::max<std::uint64_t>(1, bytesPerSecond / 10) : pattern.size();
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t sent = 0;
    while (sent < size) {
        const std::uint64_t n = std::min<std::uint64_t>({piece, size - sent, pattern.size()});
        if (!Send(std::string_view(pattern).substr(0, static_cast<std::size_t>(n)))) {
            return false;
        }
        sent += n;
        if (bytesPerSecond > 0) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(sent * 1000000 / bytesPerSecond));
        }
    }
    return true;
}

bool ServerSide::WaitForClientClose(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return false;
        }
        if (!WaitReadable(fd_, static_cast<int>(left))) {
            return false;
        }
        char buffer[4096];
        if (Receive(fd_, buffer, sizeof buffer) <= 0) {
            return true;
        }
    }
    return true;
}

void ServerSide::Reset() {
    if (fd_ < 0) {
        return;
    }
    linger hard{};
    hard.l_onoff = 1;
    hard.l_linger = 0;
    SetOption(fd_, SOL_SOCKET, SO_LINGER, hard);
    Close();
}

void ServerSide::Close() {
    if (fd_ >= 0) {
        {
            std::lock_guard lock(server_.mutex_);
            auto& fds = server_.openFds_;
            fds.erase(std::remove(fds.begin(), fds.end(), fd_), fds.end());
        }
        CloseSocket(fd_);
        fd_ = -1;
    }
}

// ---- LoopbackServer ---------------------------------------------------------------------------

LoopbackServer::LoopbackServer(Handler handler, std::uint16_t port, bool concurrent)
    : handler_(std::move(handler)), concurrent_(concurrent) {
    listenFd_ = OpenStreamSocket();
#ifndef _WIN32
    // (On Windows the option would let another program take the port over.)
    SetOption(listenFd_, SOL_SOCKET, SO_REUSEADDR, 1);
#endif
    sockaddr_in address = Loopback(port);
    if (listenFd_ == -1 ||
        bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 16) != 0) {
        CloseSocket(listenFd_);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    }
    AddressLength length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

std::string LoopbackServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

bool ServerCanReset() {
    return !UnderWine();
}

RequestParts SplitRequest(const std::string& raw) {
    RequestParts parts;
    std::istringstream line(raw.substr(0, raw.find("\r\n")));
    line >> parts.method >> parts.target;
    if (const auto headEnd = raw.find("\r\n\r\n"); headEnd != std::string::npos) {
        parts.body = raw.substr(headEnd + 4);
    }
    return parts;
}

std::string ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

std::vector<std::string> LoopbackServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackServer::Record(std::string request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
}

void LoopbackServer::Stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    // Shutting the sockets down wakes the blocked accept() and every handler's wait.
    const bool listenerClosed = InterruptAccept(listenFd_);
    {
        std::lock_guard lock(mutex_);
        for (const SocketHandle fd : openFds_) {
            ShutdownBoth(fd);
        }
    }
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) {
        worker.join();
    }
    if (!listenerClosed) {
        CloseSocket(listenFd_);
    }
}

void LoopbackServer::Serve(SocketHandle fd) {
    ServerSide side(fd, *this);
    try {
        handler_(side);
    } catch (...) {
        // A failing handler only loses its own connection.
    }
}

void LoopbackServer::AcceptLoop() {
    while (!stopping_) {
        const SocketHandle fd = AcceptConnection(listenFd_);
        if (fd == -1) {
            if (!stopping_ && RetryAccept()) {
                continue;
            }
            return;
        }
        SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
        ++connections_;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                CloseSocket(fd);
                return;
            }
            openFds_.push_back(fd);
        }
        if (concurrent_) {
            std::lock_guard lock(mutex_);
            workers_.emplace_back([this, fd] { Serve(fd); });
        } else {
            Serve(fd);
        }
    }
}

RefusingPort::RefusingPort() {
    fd_ = OpenStreamSocket();
    sockaddr_in address = Loopback(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    AddressLength length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() {
    CloseSocket(fd_);
}

StalledListener::StalledListener() {
    fd_ = OpenStreamSocket();
    sockaddr_in address = Loopback(0);
    if (fd_ == -1 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 0) != 0) {
        CloseSocket(fd_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    AddressLength length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

StalledListener::~StalledListener() {
    CloseSocket(fd_);
}

} // namespace larkspan::testing
