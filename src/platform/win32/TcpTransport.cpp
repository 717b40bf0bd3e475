// TCP connections of the HTTP client over Windows sockets (IPv4 only, as the client resolves
// names to IPv4 addresses).

#include "platform/Platform.h"
#include "platform/Policy.h"

#include "core/online/Transport.h"
#include "core/text/TextRules.h"
#include "platform/win32/Win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>

namespace larkspan::platform {

namespace {

using online::EIdSocketError;
using online::EIdSocketTimeout;

// The socket layer is started when the first user needs it and shut down when the last one is
// gone; a count under a lock decides, so users on several threads may come and go at once.
class SocketLayer {
public:
    SocketLayer() {
        const std::lock_guard lock(mutex_);
        if (users_ == 0) {
            WSADATA data{};
            const int error = ::WSAStartup(MAKEWORD(2, 2), &data);
            if (error != 0) {
                ThrowError(error);
            }
        }
        ++users_;
    }
    ~SocketLayer() {
        const std::lock_guard lock(mutex_);
        if (--users_ == 0) {
            ::WSACleanup();
        }
    }
    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;

    // The texts the client reports, worded as Indy words the Winsock errors; others use the
    // system's text.
    static std::string ErrorText(int error) {
        switch (error) {
        case WSAECONNREFUSED:
            return "Connection refused.";
        case WSAECONNRESET:
            return "Connection reset by peer.";
        case WSAECONNABORTED:
            return "Software caused connection abort.";
        case WSAETIMEDOUT:
            return "Connection timed out.";
        case WSAEHOSTUNREACH:
            return "No route to host.";
        case WSAEHOSTDOWN:
            return "Host is down.";
        case WSAENETUNREACH:
            return "Network is unreachable.";
        case WSAENETDOWN:
            return "Network is down.";
        case WSAENETRESET:
            return "Net dropped connection or reset.";
        case WSAEADDRNOTAVAIL:
            return "Cannot assign requested address.";
        case WSAEADDRINUSE:
            return "Address already in use.";
        case WSAENOTCONN:
            return "Socket is not connected.";
        case WSAESHUTDOWN:
            return "Cannot send or receive after socket is closed.";
        case WSAENOBUFS:
            return "No buffer space available.";
        case WSAEMFILE:
            return "Too many open files.";
        case WSAEACCES:
            return "Access denied.";
        case WSAEINVAL:
            return "Invalid argument.";
        case WSAEWOULDBLOCK:
            return "Operation would block.";
        case WSAENOTSOCK:
            return "Socket operation on non-socket.";
        case WSASYSNOTREADY:
            return "Network subsystem is unavailable.";
        case WSAVERNOTSUPPORTED:
            return "WINSOCK DLL Version out of range.";
        case WSANOTINITIALISED:
            return "Winsock not loaded yet.";
        case WSAHOST_NOT_FOUND:
            return "Host not found.";
        case WSATRY_AGAIN:
            return "Non-authoritative response (try again or check DNS setup).";
        case WSANO_RECOVERY:
            return "Non-recoverable errors: FORMERR, REFUSED, NOTIMP.";
        case WSANO_DATA:
            return "Valid name, no data record (check DNS setup).";
        default:
            return win32::ErrorText(static_cast<DWORD>(error));
        }
    }

    [[noreturn]] static void ThrowError(int error) {
        if (error == WSAETIMEDOUT) {
            throw EIdSocketTimeout(error, ErrorText(error));
        }
        throw EIdSocketError(error, ErrorText(error));
    }

    [[noreturn]] static void ThrowLastError() { ThrowError(::WSAGetLastError()); }

private:
    static inline std::mutex mutex_;
    static inline int users_ = 0;
};

in_addr ResolveIPv4(const std::string& host) {
    in_addr address{};
    if (LowerAscii(host) == "localhost") {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    const std::wstring wide = win32::Widen(host);
    if (::InetPtonW(AF_INET, wide.c_str(), &address) == 1) {
        return address;
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    // An empty name is the local machine to the resolver; it is passed on as such.
    const int error = ::GetAddrInfoW(wide.c_str(), nullptr, &hints, &found);
    if (error != 0 || found == nullptr) {
        SocketLayer::ThrowError(error != 0 ? error : WSAHOST_NOT_FOUND);
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::FreeAddrInfoW(found);
    return address;
}

enum class Wait { Readable, Writable, Connected };

// select() with a limit (0 or less: none). Returns false when the limit ran out. For a connect
// in progress a failure shows in the exception set; its error is thrown.
bool WaitFor(SOCKET socket, Wait wait, int timeoutMs) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval limit{};
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
    const int count = ::select(
        0, wait == Wait::Readable ? &ready : nullptr, wait == Wait::Readable ? nullptr : &ready,
        wait == Wait::Connected ? &failed : nullptr, timeoutMs > 0 ? &limit : nullptr);
    if (count == SOCKET_ERROR) {
        SocketLayer::ThrowLastError();
    }
    if (count == 0) {
        return false;
    }
    if (wait == Wait::Connected && FD_ISSET(socket, &failed)) {
        int error = 0;
        int length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
            0) {
            SocketLayer::ThrowLastError();
        }
        SocketLayer::ThrowError(error != 0 ? error : WSAECONNREFUSED);
    }
    return true; // ready, or an error the next call will report
}

// Waits for a connect in slices of online::kWaitSliceMs, calling `wait` after each one that
// ends without a result; the limit counts the time spent in `wait` as well.
bool WaitInSlices(SOCKET socket, int timeoutMs, const online::WaitHook& wait) {
    if (!wait) {
        return WaitFor(socket, Wait::Connected, timeoutMs);
    }
    return policy::WaitInSlices(
        timeoutMs, online::kWaitSliceMs,
        [&](int ms) { return WaitFor(socket, Wait::Connected, ms); }, wait);
}

class TcpConnection final : public online::Connection {
public:
    explicit TcpConnection(SOCKET socket) : socket_(socket) {}
    ~TcpConnection() override { Close(); }

    void SendAll(const char* data, std::size_t size, int timeoutMs) override {
        while (size > 0) {
            if (!WaitFor(Socket(), Wait::Writable, timeoutMs)) {
                SocketLayer::ThrowError(WSAETIMEDOUT);
            }
            const int piece = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
            const int sent = ::send(socket_, data, piece, 0);
            if (sent == SOCKET_ERROR) {
                if (::WSAGetLastError() == WSAEWOULDBLOCK) {
                    continue;
                }
                SocketLayer::ThrowLastError();
            }
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
    }

    std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) override {
        const int piece = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
        for (;;) {
            if (!WaitFor(Socket(), Wait::Readable, timeoutMs)) {
                SocketLayer::ThrowError(WSAETIMEDOUT);
            }
            const int got = ::recv(socket_, buffer, piece, 0);
            if (got != SOCKET_ERROR) {
                return static_cast<std::size_t>(got);
            }
            if (::WSAGetLastError() != WSAEWOULDBLOCK) {
                SocketLayer::ThrowLastError();
            }
        }
    }

    void Close() override {
        if (socket_ != INVALID_SOCKET) {
            ::closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
    }

private:
    SOCKET Socket() const {
        if (socket_ == INVALID_SOCKET) {
            SocketLayer::ThrowError(WSAENOTCONN);
        }
        return socket_;
    }

    // Declared first, so that the layer outlives the socket.
    SocketLayer layer_;
    SOCKET socket_;
};

} // namespace

std::unique_ptr<online::Connection> ConnectTcp(const std::string& host, std::uint16_t port,
                                               int timeoutMs, const online::WaitHook& wait) {
    const SocketLayer layer; // for the resolver; the connection holds its own
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr = ResolveIPv4(host);

    // Not inheritable: a program started meanwhile must not keep the connection open.
    const SOCKET socket =
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        SocketLayer::ThrowLastError();
    }
    auto connection = std::make_unique<TcpConnection>(socket);
    // Non-blocking from the start: connect() then honours the limit, and send/recv never block
    // past the select() that guards them.
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        SocketLayer::ThrowLastError();
    }
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            SocketLayer::ThrowLastError();
        }
        if (!WaitInSlices(socket, timeoutMs, wait)) {
            SocketLayer::ThrowError(WSAETIMEDOUT);
        }
    }
    // Requests are written as a head and a body; do not hold the body back for the head's ACK.
    const BOOL noDelay = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                 sizeof noDelay);
    return connection;
}

} // namespace larkspan::platform
