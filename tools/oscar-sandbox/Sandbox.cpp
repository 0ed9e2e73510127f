#include "tools/oscar-sandbox/Sandbox.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

Sandbox::Sandbox(SandboxOptions options, std::FILE* out)
    : options_(std::move(options)), out_(out), random_(std::random_device{}()) {
    watchControl_ = options_.control;
}

bool Sandbox::open(std::string& error) {
    auto login = oscar::listenLoopback(options_.loginPort, error);
    if (!login) {
        error = "cannot listen on login port " + std::to_string(options_.loginPort) + ": " + error;
        return false;
    }
    auto chat = oscar::listenLoopback(options_.chatPort, error);
    if (!chat) {
        error = "cannot listen on chat port " + std::to_string(options_.chatPort) + ": " + error;
        return false;
    }
    loginListener_ = std::move(*login);
    chatListener_ = std::move(*chat);
    say("sandbox: login server on 127.0.0.1:" + std::to_string(loginPort()) +
        ", chat server on 127.0.0.1:" + std::to_string(chatPort()));
    for (const std::string& uin : options_.noAckFor) {
        say("sandbox: messages to " + uin + " are never acknowledged");
    }
    return true;
}

void Sandbox::run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
    std::vector<pollfd> fds;
    while (!stop && !quit_) {
        fds.clear();
        fds.push_back({loginListener_.get(), POLLIN, 0});
        fds.push_back({chatListener_.get(), POLLIN, 0});
        fds.push_back({watchControl_ ? STDIN_FILENO : -1, POLLIN, 0});
        const std::size_t served = conns_.size();
        for (const auto& c : conns_) {
            const short events = static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT));
            fds.push_back({c->fd.get(), events, 0});
        }
        if (::ppoll(fds.data(), fds.size(), nullptr, &waitMask) < 0) {
            if (errno == EINTR) {
                continue;
            }
            say("sandbox: poll failed, stopping");
            break;
        }
        if (fds[0].revents & POLLIN) {
            acceptOn(Side::Login);
        }
        if (fds[1].revents & POLLIN) {
            acceptOn(Side::Chat);
        }
        if (fds[2].revents != 0) {
            readControl();
        }
        for (std::size_t i = 0; i < served; ++i) {
            Conn& c = *conns_[i];
            const short revents = fds[3 + i].revents;
            if (!c.closed && (revents & (POLLIN | POLLHUP | POLLERR))) {
                readFrom(c);
            }
            if (!c.closed && (revents & POLLOUT)) {
                flush(c);
            }
        }
        reap();
    }
    say("sandbox: stopped");
}

void Sandbox::acceptOn(Side side) {
    std::string peer;
    auto fd = oscar::acceptPending(side == Side::Login ? loginListener_ : chatListener_, peer);
    if (!fd) {
        return;
    }
    auto c = std::make_unique<Conn>();
    c->fd = std::move(*fd);
    c->side = side;
    c->peer = peer;
    c->seq = static_cast<std::uint16_t>(random_() & 0x7FFF);
    conns_.push_back(std::move(c));
    Conn& conn = *conns_.back();
    const char* name = side == Side::Login ? "login: " : "chat: ";
    send(conn, oscar::kChannelSignOn, oscar::kHello);
    say(std::string(name) + "connection from " + peer + ", hello sent");
}

void Sandbox::readFrom(Conn& c) {
    std::array<std::uint8_t, 16384> chunk{};
    const ssize_t n = ::recv(c.fd.get(), chunk.data(), chunk.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        peerClosed(c);
        return;
    }
    oscar::ByteView rest(chunk.data(), static_cast<std::size_t>(n));
    while (!rest.empty() && !c.closed) {
        rest = rest.subspan(c.in.feed(rest));
        if (c.in.broken()) {
            closeConn(c, (c.side == Side::Login ? "login: " : "chat: ") + c.peer +
                             " sent data that is not a FLAP frame, closed");
            return;
        }
        if (c.in.hasFrame()) {
            const oscar::FlapFrame frame = c.in.frame();
            if (c.finSent) {
                // Nothing more is answered on a connection being closed.
            } else if (c.side == Side::Login) {
                onLoginFrame(c, frame);
            } else {
                onChatFrame(c, frame);
            }
            c.in.next();
        }
    }
}

void Sandbox::peerClosed(Conn& c) {
    if (c.finSent) {
        closeConn(c, "");
    } else if (c.side == Side::Login) {
        closeConn(c, "login: connection from " + c.peer + " closed by the client");
    } else if (c.signedOn) {
        closeConn(c, "chat: " + c.uin + " disconnected");
    } else {
        closeConn(c, "chat: connection from " + c.peer + " closed by the client");
    }
}

void Sandbox::flush(Conn& c) {
    while (!c.out.empty()) {
        const long n = oscar::sendSome(c.fd, c.out);
        if (n < 0) {
            closeConn(c, (c.side == Side::Login ? "login: send to " : "chat: send to ") + c.peer +
                             " failed, closed");
            return;
        }
        if (n == 0) {
            return;
        }
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
    if (c.closeWhenSent && !c.finSent) {
        // Shut our side only: closing with unread input could reset the
        // connection before the client has read the reply.
        ::shutdown(c.fd.get(), SHUT_WR);
        c.finSent = true;
        say("login: connection to " + c.peer + " closed after the reply");
    }
}

void Sandbox::closeConn(Conn& c, const std::string& line) {
    if (c.closed) {
        return;
    }
    c.closed = true;
    c.fd.reset();
    c.out.clear();
    if (!line.empty()) {
        say(line);
    }
}

void Sandbox::reap() {
    std::erase_if(conns_, [](const std::unique_ptr<Conn>& c) { return c->closed; });
}

bool Sandbox::send(Conn& c, std::uint8_t channel, oscar::ByteView data) {
    if (c.closed || c.finSent) {
        return false;
    }
    auto frame = oscar::encodeFlap(channel, c.seq, data);
    if (!frame) {
        say("sandbox: a frame of " + std::to_string(data.size()) + " bytes for " + c.peer +
            " does not fit in FLAP, not sent");
        return false;
    }
    c.seq = static_cast<std::uint16_t>((c.seq + 1) & 0x7FFF);
    c.out.insert(c.out.end(), frame->begin(), frame->end());
    flush(c);
    return !c.closed;
}

bool Sandbox::sendSnac(Conn& c, std::uint16_t family, std::uint16_t subtype,
                       std::uint32_t requestId, oscar::ByteView body) {
    return send(c, oscar::kChannelSnac, oscar::encodeSnac(family, subtype, requestId, body));
}

Sandbox::Conn* Sandbox::findSignedOn(const std::string& uin) {
    for (auto& c : conns_) {
        if (c->side == Side::Chat && c->signedOn && !c->closed && c->uin == uin) {
            return c.get();
        }
    }
    return nullptr;
}

void Sandbox::say(const std::string& line) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void Sandbox::readControl() {
    std::array<char, 512> chunk{};
    const ssize_t n = ::read(STDIN_FILENO, chunk.data(), chunk.size());
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            watchControl_ = false;  // standard input is gone: commands end
        }
        return;
    }
    controlText_.append(chunk.data(), static_cast<std::size_t>(n));
    std::size_t end = 0;
    while ((end = controlText_.find('\n')) != std::string::npos) {
        std::string command = controlText_.substr(0, end);
        controlText_.erase(0, end + 1);
        if (!command.empty() && command.back() == '\r') {
            command.pop_back();
        }
        runCommand(command);
    }
    if (controlText_.size() > 4096) {
        controlText_.clear();
    }
}

void Sandbox::runCommand(const std::string& command) {
    if (command == "drop") {
        int dropped = 0;
        for (auto& c : conns_) {
            if (!c->closed) {
                const std::string who = c->signedOn ? c->uin : c->peer;
                closeConn(*c, (c->side == Side::Login ? "login: " : "chat: ") + who + " dropped");
                ++dropped;
            }
        }
        say("control: dropped " + std::to_string(dropped) + " connections");
    } else if (command == "quit") {
        say("control: quit");
        quit_ = true;
    } else if (!command.empty()) {
        say("control: unknown command \"" + command + "\"");
    }
}
