#include "support/LoopbackServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace larkspan::testing {

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

ServerSide::ServerSide(int fd, LoopbackServer& server) : fd_(fd), server_(server) {}

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
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
        char buffer[65536];
        const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
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
        const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
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

void ServerSide::WaitForClientClose(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return;
        }
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) {
            return;
        }
        char buffer[4096];
        if (recv(fd_, buffer, sizeof buffer, 0) <= 0) {
            return;
        }
    }
}

void ServerSide::Reset() {
    if (fd_ < 0) {
        return;
    }
    linger hard{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

void ServerSide::Close() {
    if (fd_ >= 0) {
        {
            std::lock_guard lock(server_.mutex_);
            auto& fds = server_.openFds_;
            fds.erase(std::remove(fds.begin(), fds.end(), fd_), fds.end());
        }
        ::close(fd_);
        fd_ = -1;
    }
}

// ---- LoopbackServer ---------------------------------------------------------------------------

LoopbackServer::LoopbackServer(Handler handler, std::uint16_t port, bool concurrent)
    : handler_(std::move(handler)), concurrent_(concurrent) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = Loopback(port);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 16) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    }
    socklen_t length = sizeof address;
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
    shutdown(listenFd_, SHUT_RDWR);
    {
        std::lock_guard lock(mutex_);
        for (int fd : openFds_) {
            shutdown(fd, SHUT_RDWR);
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
    ::close(listenFd_);
}

void LoopbackServer::Serve(int fd) {
    ServerSide side(fd, *this);
    try {
        handler_(side);
    } catch (...) {
        // A failing handler only loses its own connection.
    }
}

void LoopbackServer::AcceptLoop() {
    while (!stopping_) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++connections_;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                ::close(fd);
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
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() {
    ::close(fd_);
}

} // namespace larkspan::testing
