#pragma once

// Raw HTTP servers on 127.0.0.1 for the client's tests, the vendor stand-in and the benchmark.
// A handler gets each accepted connection and writes whatever bytes it likes, well-formed or
// hostile; the server records every request it reads.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace larkspan::testing {

class LoopbackServer;

// A socket: a descriptor on POSIX, a SOCKET on Windows; -1 when there is none.
using SocketHandle = std::intptr_t;

// The server's end of one accepted connection.
class ServerSide {
public:
    ServerSide(SocketHandle fd, LoopbackServer& server);
    ~ServerSide();
    ServerSide(const ServerSide&) = delete;
    ServerSide& operator=(const ServerSide&) = delete;

    // Reads one request: the head through its empty line, then as many body bytes as its
    // Content-Length names. Returns "" when the client closes (or nothing comes within
    // timeoutMs) before a whole head has arrived.
    std::string ReadRequest(int timeoutMs = 5000);

    // Sends bytes; false once the client has gone.
    bool Send(std::string_view bytes);
    // Sends `size` bytes of a repeating pattern in pieces, pausing between them so that at most
    // bytesPerSecond go out (0: no pause). Stops early when the client goes away.
    bool SendPattern(std::uint64_t size, std::uint64_t bytesPerSecond = 0);
    // `data` at `bytesPerSecond` (0: all at once).
    bool SendThrottled(std::string_view data, std::uint64_t bytesPerSecond);

    // Waits until the client closes its end (or timeoutMs passes), discarding what it sends.
    // True when it closed (or the connection failed), false when the time ran out.
    bool WaitForClientClose(int timeoutMs = 5000);
    // Closes with a reset (RST) instead of an orderly close (where ServerCanReset).
    void Reset();
    void Close();

    SocketHandle Fd() const { return fd_; }

private:
    SocketHandle fd_;
    LoopbackServer& server_;
    std::string pending_; // bytes read beyond the last request
};

class LoopbackServer {
public:
    using Handler = std::function<void(ServerSide&)>;

    // Listens on 127.0.0.1:port (0: a free port) and serves each connection with `handler`,
    // one after another, or each on its own thread when `concurrent` is set.
    explicit LoopbackServer(Handler handler, std::uint16_t port = 0, bool concurrent = false);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(std::string_view path) const;

    std::vector<std::string> Requests() const;
    int Connections() const { return connections_; }

    // Blocks until the accept thread and every handler have finished.
    void Stop();

private:
    friend class ServerSide;
    void AcceptLoop();
    void Record(std::string request);
    void Serve(SocketHandle fd);

    Handler handler_;
    bool concurrent_;
    SocketHandle listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<SocketHandle> openFds_;
    std::vector<std::thread> workers_;
};

// Whether ServerSide::Reset sends a reset. Under wine it cannot: wine's sockets ignore a zero
// linger time and close in order (a reset from elsewhere still reaches wine's clients).
bool ServerCanReset();

// A request as ServerSide::ReadRequest returns it, cut into the method and target of its
// request line and the body after the head (empty when there is none).
struct RequestParts {
    std::string method;
    std::string target;
    std::string body;
};
RequestParts SplitRequest(const std::string& raw);

// The reason phrase of a status line for the codes the tests' servers send ("OK", "Found",
// "Not Found", "Internal Server Error"); "Status" for any other code.
std::string ReasonPhrase(int status);

// A loopback port that is bound but not listening for as long as the object lives, so every
// connection to it is refused and no other program can take it meanwhile.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::uint16_t Port() const { return port_; }

private:
    SocketHandle fd_ = -1;
    std::uint16_t port_ = 0;
};

// A loopback port that listens with the shortest queue and never accepts, for as long as the
// object lives: once the queue is full, further handshakes get no answer.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;
    std::uint16_t Port() const { return port_; }

private:
    SocketHandle fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace larkspan::testing
