#pragma once
// Misbehaving servers on the loopback interface, for the update-address tests:
// a socket that accepts connections nobody answers, and a server that
// trickles its answer one byte a second.

#include <atomic>
#include <string>
#include <thread>

// A socket bound on the loopback interface; with listen() the kernel accepts
// connections that nobody ever answers. Closed, its port refuses connections.
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool listening);
    ~LoopbackSocket() { close(); }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;
    void close();
    int port() const { return port_; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Answers each connection in turn: sends head at once, then drip one byte a
// second (round and round) until the client goes or the server is destroyed.
class TricklingServer {
public:
    TricklingServer(std::string head, std::string drip);
    ~TricklingServer();
    TricklingServer(const TricklingServer&) = delete;
    TricklingServer& operator=(const TricklingServer&) = delete;
    int port() const { return socket_.port(); }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port()) + "/"; }

private:
    LoopbackSocket socket_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
