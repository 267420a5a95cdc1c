#include "tests/common/Loopback.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackSocket::LoopbackSocket(bool listening) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (listening) ::listen(fd_, 8);
}

void LoopbackSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

TricklingServer::TricklingServer(std::string head, std::string drip) : socket_(true) {
    thread_ = std::thread([this, head = std::move(head), drip = std::move(drip)] {
        while (!stop_) {
            const int client = ::accept4(socket_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) return;  // shut down
            char request[4096];
            (void)::recv(client, request, sizeof request, 0);
            bool open = head.empty() || ::send(client, head.data(), head.size(), MSG_NOSIGNAL) > 0;
            for (size_t i = 0; open && !stop_ && !drip.empty(); i = (i + 1) % drip.size()) {
                open = ::send(client, &drip[i], 1, MSG_NOSIGNAL) == 1;
                for (int k = 0; k < 20 && !stop_; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            ::close(client);
        }
    });
}

TricklingServer::~TricklingServer() {
    stop_ = true;
    ::shutdown(socket_.fd(), SHUT_RDWR);  // wakes an accept still waiting
    thread_.join();
}
