#pragma once

// The failures of the HTTP client. Each carries the message text the client is known by; the
// callers mostly drop them, but the texts stay stable so that tests and logs can tell them apart.

#include "core/text/GeneralError.h"

#include <cstdint>
#include <string>
#include <utility>

namespace larkspan::online {

// Base of every failure raised by the client or its transport.
class EIdException : public GeneralError {
public:
    using GeneralError::GeneralError;
};

// A failure of the operating system's socket layer: resolution, connect, send or receive.
class EIdSocketError : public EIdException {
public:
    EIdSocketError(int lastError, const std::string& text)
        : EIdException("Socket Error # " + std::to_string(lastError) + "\r\n" + text),
          lastError_(lastError) {}
    int LastError() const { return lastError_; }

private:
    int lastError_;
};

// A wait for the peer ran out of time. It is a socket error (the system's "timed out" number and
// text); the client turns it into EIdReadTimeout where a short read limit is part of the protocol.
class EIdSocketTimeout : public EIdSocketError {
public:
    using EIdSocketError::EIdSocketError;
};

class EIdConnClosedGracefully : public EIdException {
public:
    EIdConnClosedGracefully() : EIdException("Connection Closed Gracefully.") {}
};

class EIdReadTimeout : public EIdException {
public:
    EIdReadTimeout() : EIdException("Read Timeout") {}
};

class EIdMaxLineLengthExceeded : public EIdException {
public:
    EIdMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

// An answer's head (status line and header lines) broke one of the client's limits on its
// size, its number of lines or the time it may take: a broken or hostile server.
class EIdResponseHeadRejected : public EIdException {
public:
    using EIdException::EIdException;
};

// A body larger than the client is willing to hold in memory.
class EIdBodyTooLarge : public EIdException {
public:
    explicit EIdBodyTooLarge(std::uint64_t limit)
        : EIdException("Response body larger than the limit of " + std::to_string(limit) +
                       " bytes") {}
};

// An answer whose body cannot be told apart for sure: Content-Length values that are no number
// or disagree, a length given beside a transfer coding, a coding the client cannot undo, a
// malformed chunk. Reading on could only guess at the body, and a guess may be a wrong file.
class EIdBodyFramingError : public EIdException {
public:
    using EIdException::EIdException;
};

// The answer came in more slowly than the client's lowest acceptable rate, for longer than it
// waits: a server that sends a byte now and then, each wait far below the idle limit.
class EIdTransferTooSlow : public EIdException {
public:
    using EIdException::EIdException;
};

// The owner asked the client to stop the running transfer (see TIdHTTP::RequestAbort).
class EIdTransferAborted : public EIdException {
public:
    EIdTransferAborted() : EIdException("Transfer aborted") {}
};

// An answer with a status outside 2xx, or any redirect: the message is the status line as
// received, the error body is kept as text.
class EIdHTTPProtocolException : public EIdException {
public:
    EIdHTTPProtocolException(int errorCode, const std::string& statusLine, std::string errorMessage)
        : EIdException(statusLine), errorCode_(errorCode), errorMessage_(std::move(errorMessage)) {}
    int ErrorCode() const { return errorCode_; }
    const std::string& ErrorMessage() const { return errorMessage_; }

private:
    int errorCode_;
    std::string errorMessage_;
};

} // namespace larkspan::online
