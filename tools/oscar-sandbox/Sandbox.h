// The sandbox service: a login server and a chat server on loopback, served
// by one poll() loop on one thread. Each client connection reassembles FLAP
// frames in a fixed buffer and queues its replies until the socket takes
// them. Every action is reported as one line on the output.
#pragma once

#include <signal.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tools/oscar-sandbox/SandboxOptions.h"
#include "tools/oscar-wire/Flap.h"
#include "tools/oscar-wire/Socket.h"

enum class Side { Login, Chat };

struct SandboxConnection {
    oscar::Fd fd;
    Side side = Side::Login;
    std::string peer;  // "ip:port" of the client
    oscar::FlapAssembler in;
    oscar::Bytes out;  // bytes waiting for the socket
    std::uint16_t seq = 0;
    bool closeWhenSent = false;  // end the connection once `out` is sent
    bool finSent = false;        // our side is shut; waiting for the client's close
    bool closed = false;
    std::string uin;        // login: the UIN named so far; chat: the signed-on UIN
    bool signedOn = false;  // chat: the sign-on cookie was accepted
};

class Sandbox {
  public:
    Sandbox(SandboxOptions options, std::FILE* out);

    bool open(std::string& error);
    std::uint16_t loginPort() const { return oscar::localPort(loginListener_); }
    std::uint16_t chatPort() const { return oscar::localPort(chatListener_); }
    // Serves until `stop` is set by a signal (delivered only while waiting,
    // with `waitMask` as the signal mask) or the "quit" command.
    void run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);

  private:
    using Conn = SandboxConnection;

    // Connections and the loop (Sandbox.cpp).
    void acceptOn(Side side);
    void readFrom(Conn& c);
    void flush(Conn& c);
    void closeConn(Conn& c, const std::string& line);
    void peerClosed(Conn& c);
    void reap();
    bool send(Conn& c, std::uint8_t channel, oscar::ByteView data);
    bool sendSnac(Conn& c, std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
                  oscar::ByteView body);
    Conn* findSignedOn(const std::string& uin);
    void say(const std::string& line);
    void readControl();
    void runCommand(const std::string& command);

    // The login conversation (SandboxLogin.cpp).
    void onLoginFrame(Conn& c, const oscar::FlapFrame& frame);
    void sendKey(Conn& c, const oscar::Snac& snac);
    void signOn(Conn& c, const oscar::Snac& snac);
    void classicSignOn(Conn& c, oscar::ByteView tlvs);
    // A fresh cookie for `uin` and the reply's TLVs 1 (UIN), 5 (chat server)
    // and 6 (cookie).
    oscar::Bytes admit(const std::string& uin, const std::string& how);
    std::string uinOfCookie(oscar::ByteView cookie) const;

    // The chat session's start-up and queries (SandboxChat.cpp).
    void onChatFrame(Conn& c, const oscar::FlapFrame& frame);
    void chatSignOn(Conn& c, const oscar::FlapFrame& frame);
    void onChatSnac(Conn& c, const oscar::Snac& snac);
    bool answerQuery(Conn& c, const oscar::Snac& snac);
    void answerMeta(Conn& c, const oscar::Snac& snac);

    // Instant messages between signed-on clients (SandboxRelay.cpp).
    void relayMessage(Conn& from, const oscar::Snac& snac);
    void relayNotice(Conn& from, const oscar::Snac& snac);

    SandboxOptions options_;
    std::FILE* out_;
    oscar::Fd loginListener_;
    oscar::Fd chatListener_;
    std::vector<std::unique_ptr<Conn>> conns_;
    std::map<std::string, oscar::Bytes> cookies_;  // UIN -> cookie of its last sign-on
    std::mt19937 random_;
    std::uint32_t requestId_ = 0;
    bool watchControl_ = false;
    bool quit_ = false;
    std::string controlText_;
};
