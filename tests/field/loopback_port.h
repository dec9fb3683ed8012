// A loopback port for tests: one the system has free now on 127.0.0.1,
// for a server a test starts, or for an address nothing listens on.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline int free_loopback_port()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    close(s);
    return ntohs(a.sin_port);
}
