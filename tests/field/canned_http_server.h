// A loopback HTTP server for tests that answers every request with the
// same bytes, then hangs up: the answers a real server never gives (no
// length, a cut body, giant headers) are written out by hand.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

class CannedHttpServer {
public:
    explicit CannedHttpServer(std::string answer) : answer_(std::move(answer))
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        listen(listener_, 8);
        socklen_t size = sizeof at;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~CannedHttpServer()
    {
        done_ = true;
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }

private:
    void serve()
    {
        while (!done_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (poll(&waiting, 1, 50) != 1)
                continue;
            const int peer = accept(listener_, nullptr, nullptr);
            if (peer < 0)
                continue;
            // The request's headers and body, read until the client waits.
            char bytes[65536];
            pollfd reading{peer, POLLIN, 0};
            while (poll(&reading, 1, 200) == 1 && read(peer, bytes, sizeof bytes) > 0) {}
            for (std::size_t sent = 0; sent < answer_.size();) {
                const ssize_t n = write(peer, answer_.data() + sent, answer_.size() - sent);
                if (n <= 0)
                    break;
                sent += std::size_t(n);
            }
            shutdown(peer, SHUT_WR);
            close(peer);
        }
    }

    std::string answer_;
    int listener_ = -1, port_ = 0;
    std::atomic<bool> done_{false};
    std::thread thread_;
};
