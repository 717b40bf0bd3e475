#pragma once

// The byte pipe under the HTTP client. The client and its parsers only see this interface; the
// platform layer supplies TCP sockets (platform::ConnectTcp) and tests supply in-memory scripts.

#include "core/online/HttpErrors.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace larkspan::online {

// Time limits are in milliseconds; a value of 0 or less means "no limit".
class Connection {
public:
    virtual ~Connection() = default;

    // Sends every byte, waiting at most timeoutMs each time the peer stops taking data.
    // Throws EIdSocketError (EIdSocketTimeout when the limit runs out).
    virtual void SendAll(const char* data, std::size_t size, int timeoutMs) = 0;

    // Waits at most timeoutMs for data and reads at most `size` bytes of it. Returns the number
    // of bytes read, or 0 when the peer has closed the connection. Throws EIdSocketError
    // (EIdSocketTimeout when the limit runs out).
    virtual std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) = 0;

    // Closes the connection; further calls fail. Closing twice is harmless.
    virtual void Close() = 0;

    // A hint that [data, data + size), fresh memory the caller owns, is about to be filled by
    // receives: an implementation may back it with large pages, which fill much faster. The
    // contents stay as they are.
    virtual void PrepareReceiveBuffer(char* data, std::size_t size) {
        static_cast<void>(data);
        static_cast<void>(size);
    }
};

// How often a wait for the peer stops for a moment to call its WaitHook.
inline constexpr int kWaitSliceMs = 50;

// Called at least every kWaitSliceMs while the client waits for its peer, bytes or none: where
// a thread that a transfer blocks takes its events. It may throw to give the wait up. Empty:
// the waits are not cut into slices.
using WaitHook = std::function<void()>;

// Opens a connection to host:port within timeoutMs, calling `wait` (when set) while it waits.
// Throws EIdSocketError on failure, and whatever `wait` throws.
using Connector = std::function<std::unique_ptr<Connection>(
    const std::string& host, std::uint16_t port, int timeoutMs, const WaitHook& wait)>;

} // namespace larkspan::online
