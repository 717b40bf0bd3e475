#pragma once

// In-memory connections for the HTTP client's tests: each connection plays a script of reply
// pieces (one piece per receive at most, so a test decides what "arrives together") and records
// every byte the client sends.

#include "core/online/Transport.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace larkspan::testing {

struct ConnectionScript {
    enum class AtEnd { Close, Timeout, Reset };

    std::deque<std::string> replies;
    AtEnd atEnd = AtEnd::Close;

    // Filled in as the client uses the connection.
    std::string host;
    std::uint16_t port = 0;
    std::string sent;
    bool closed = false;
};

class MemoryConnection final : public online::Connection {
public:
    explicit MemoryConnection(std::shared_ptr<ConnectionScript> script)
        : script_(std::move(script)) {}
    ~MemoryConnection() override { Close(); }

    void SendAll(const char* data, std::size_t size, int) override {
        script_->sent.append(data, size);
    }

    std::size_t Receive(char* buffer, std::size_t size, int) override {
        auto& replies = script_->replies;
        while (!replies.empty() && replies.front().empty()) {
            replies.pop_front();
        }
        if (replies.empty()) {
            switch (script_->atEnd) {
            case ConnectionScript::AtEnd::Close:
                return 0;
            case ConnectionScript::AtEnd::Timeout:
                throw online::EIdSocketTimeout(110, "Connection timed out.");
            case ConnectionScript::AtEnd::Reset:
                throw online::EIdSocketError(104, "Connection reset by peer.");
            }
        }
        std::string& piece = replies.front();
        const std::size_t n = std::min(size, piece.size());
        piece.copy(buffer, n);
        piece.erase(0, n);
        return n;
    }

    void Close() override { script_->closed = true; }

private:
    std::shared_ptr<ConnectionScript> script_;
};

// Hands out the scripted connections in order; a connect beyond them is refused.
class ScriptedNetwork {
public:
    ConnectionScript&
    AddConnection(std::deque<std::string> replies,
                  ConnectionScript::AtEnd atEnd = ConnectionScript::AtEnd::Close) {
        auto script = std::make_shared<ConnectionScript>();
        script->replies = std::move(replies);
        script->atEnd = atEnd;
        scripts_.push_back(script);
        return *script;
    }

    online::Connector Connector() {
        return [this](const std::string& host, std::uint16_t port, int,
                      const online::WaitHook&) -> std::unique_ptr<online::Connection> {
            if (used_ == scripts_.size()) {
                throw online::EIdSocketError(111, "Connection refused.");
            }
            auto script = scripts_[used_++];
            script->host = host;
            script->port = port;
            return std::make_unique<MemoryConnection>(script);
        };
    }

    std::size_t Connects() const { return used_; }
    ConnectionScript& Script(std::size_t i) { return *scripts_.at(i); }

private:
    std::vector<std::shared_ptr<ConnectionScript>> scripts_;
    std::size_t used_ = 0;
};

} // namespace larkspan::testing
