#include "platform/Platform.h"

#include "core/online/Transport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

using larkspan::online::EIdSocketError;
using larkspan::online::EIdSocketTimeout;
using larkspan::platform::ConnectTcp;

namespace {

// A socket of the test's own on 127.0.0.1, on a port the system picks; listening or not.
class LoopbackPeer {
public:
    explicit LoopbackPeer(bool listen) {
        WSADATA data{};
        ::WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        EXPECT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
        if (listen) {
            EXPECT_EQ(::listen(socket_, 1), 0);
        }
    }
    ~LoopbackPeer() {
        if (accepted_ != INVALID_SOCKET) {
            ::closesocket(accepted_);
        }
        ::closesocket(socket_);
        ::WSACleanup();
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::uint16_t Port() const { return port_; }
    SOCKET Accept() {
        accepted_ = ::accept(socket_, nullptr, nullptr);
        return accepted_;
    }
    void CloseAccepted() {
        ::closesocket(accepted_);
        accepted_ = INVALID_SOCKET;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    SOCKET accepted_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
};

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EIdSocketError& error) {
        return error.what();
    }
    return "no error";
}

TEST(TcpTransportWindows, CarriesBytesBothWaysUntilThePeerCloses) {
    LoopbackPeer peer(true);
    // "localhost" in any letter case is 127.0.0.1 without asking a resolver.
    auto connection = ConnectTcp("LocalHost", peer.Port(), 5000);
    const SOCKET server = peer.Accept();
    ASSERT_NE(server, INVALID_SOCKET);

    connection->SendAll("hello", 5, 5000);
    char received[16] = {};
    int got = 0;
    while (got < 5) {
        const int n = ::recv(server, received + got, 5 - got, 0);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(std::string(received, 5), "hello");

    ASSERT_EQ(::send(server, "world", 5, 0), 5);
    std::string answer;
    char buffer[16];
    while (answer.size() < 5) {
        const std::size_t n = connection->Receive(buffer, sizeof buffer, 5000);
        ASSERT_GT(n, 0u);
        answer.append(buffer, n);
    }
    EXPECT_EQ(answer, "world");
    peer.CloseAccepted();
    EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 5000), 0u);

    connection->Close();
    EXPECT_EQ(MessageOf([&] { connection->Receive(buffer, sizeof buffer, 5000); }),
              "Socket Error # 10057\r\nSocket is not connected.");
}

TEST(TcpTransportWindows, RefusedConnectionIsASocketErrorInIndysWords) {
    LoopbackPeer closed(false); // bound, so no other program takes the port, but not listening
    EXPECT_EQ(MessageOf([&] { ConnectTcp("127.0.0.1", closed.Port(), 10000); }),
              "Socket Error # 10061\r\nConnection refused.");
}

TEST(TcpTransportWindows, SilentPeerRunsOutOfTime) {
    LoopbackPeer peer(true);
    auto connection = ConnectTcp("127.0.0.1", peer.Port(), 5000);
    ASSERT_NE(peer.Accept(), INVALID_SOCKET);
    char buffer[16];
    try {
        connection->Receive(buffer, sizeof buffer, 200);
        ADD_FAILURE() << "no time-out";
    } catch (const EIdSocketTimeout& timeout) {
        EXPECT_STREQ(timeout.what(), "Socket Error # 10060\r\nConnection timed out.");
    }
}

} // namespace
