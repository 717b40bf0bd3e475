// online-silent-server: a vendor server that never answers. It listens on 127.0.0.1 (a free
// port, printed as the first line on standard output), takes every connection, reads what comes
// and never replies, so the program's background check waits on it for as long as it lives.
// Each request that arrives is announced on standard output as a line "request <first line>",
// so a test knows when the check is waiting. Ends on SIGTERM or SIGINT.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

int main() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("online-silent-server");
        return 2;
    }
    std::printf("%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
    std::fflush(stdout);

    // Open connections and what each has sent so far (up to its first line break).
    std::map<int, std::string> received;
    for (;;) {
        std::vector<pollfd> watched{{listener, POLLIN, 0}};
        for (const auto& [fd, text] : received) {
            watched.push_back({fd, POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            continue;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                received[fd];
            }
        }
        for (std::size_t i = 1; i < watched.size(); ++i) {
            if (watched[i].revents == 0) {
                continue;
            }
            const int fd = watched[i].fd;
            char buffer[4096];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                ::close(fd);
                received.erase(fd);
                continue;
            }
            std::string& text = received[fd];
            const bool announced = text.find('\r') != std::string::npos;
            text.append(buffer, static_cast<std::size_t>(got));
            const auto end = text.find('\r');
            if (!announced && end != std::string::npos) {
                std::printf("request %s\n", text.substr(0, end).c_str());
                std::fflush(stdout);
            }
            if (text.size() > 65536) {
                text.resize(65536); // keep reading, keep nothing more
            }
        }
    }
}
