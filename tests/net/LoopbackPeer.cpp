#include "tests/net/LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

constexpr int kStallSeconds = 10;

}  // namespace

LoopbackPeer& LoopbackPeer::operator=(LoopbackPeer&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

LoopbackPeer LoopbackPeer::connectTo(std::uint16_t port, int receiveBuffer) {
    LoopbackPeer peer(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!peer.connected()) {
        return peer;
    }
    if (receiveBuffer > 0) {
        setsockopt(peer.fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    }
    const timeval stall{kStallSeconds, 0};
    setsockopt(peer.fd_, SOL_SOCKET, SO_RCVTIMEO, &stall, sizeof(stall));
    setsockopt(peer.fd_, SOL_SOCKET, SO_SNDTIMEO, &stall, sizeof(stall));
    const sockaddr_in sa = loopback(port);
    if (connect(peer.fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) {
        peer.reset();
    }
    return peer;
}

void LoopbackPeer::reset() {
    if (fd_ != -1) {
        close(fd_);
        fd_ = -1;
    }
}

bool LoopbackPeer::sendAll(const std::vector<std::uint8_t>& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<std::uint8_t> LoopbackPeer::readUpTo(std::size_t limit) const {
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 16384> chunk{};
    while (bytes.size() < limit) {
        const std::size_t want = std::min(chunk.size(), limit - bytes.size());
        const ssize_t n = recv(fd_, chunk.data(), want, 0);
        if (n <= 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    }
    return bytes;
}

bool LoopbackPeer::atEnd() const {
    std::uint8_t byte = 0;
    return recv(fd_, &byte, 1, 0) == 0;
}

std::uint16_t unusedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    sockaddr_in sa = loopback(0);
    socklen_t length = sizeof(sa);
    bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    close(fd);
    return ntohs(sa.sin_port);
}

bool waitReadable(int fd, int ms) {
    pollfd pfd{fd, POLLIN, 0};
    return poll(&pfd, 1, ms) == 1 && (pfd.revents & POLLIN) != 0;
}

bool waitPeerClosed(int fd, int ms) {
    pollfd pfd{fd, POLLRDHUP, 0};
    return poll(&pfd, 1, ms) == 1 && (pfd.revents & POLLRDHUP) != 0;
}

bool waitUntilFull(int fd) {
    constexpr int kChecks = 5000;
    for (int i = 0; i < kChecks; ++i) {
        pollfd pfd{fd, POLLOUT, 0};
        if (poll(&pfd, 1, 0) == 0) {
            return true;
        }
        poll(nullptr, 0, 1);  // let the sender run
    }
    return false;
}

void shrinkSendBuffer(int fd, int bytes) {
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes));
}

std::vector<std::uint8_t> pattern(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    return bytes;
}

std::string dotted(IpAddress address) {
    in_addr in{};
    in.s_addr = address;
    std::array<char, INET_ADDRSTRLEN> text{};
    inet_ntop(AF_INET, &in, text.data(), text.size());
    return text.data();
}
