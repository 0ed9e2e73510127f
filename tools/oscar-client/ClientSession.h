// The scripted client's session: sign-on through a login server, the chat
// start-up at the address it redirects to, sending messages and listening.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "tools/oscar-client/ClientOptions.h"
#include "tools/oscar-client/Link.h"

class ClientSession {
  public:
    static constexpr int kConnectTimeoutMs = 5000;

    ClientSession(ClientOptions options, Say say);

    // Signs on; false (after a "failed: " line) when that did not work.
    bool signOn();
    void sendMessages();
    // Listens for --wait-ms or until --until-messages; the exit status.
    int listen();

  private:
    struct Redirect {
        std::string host;
        std::uint16_t port = 0;
        oscar::Bytes cookie;
    };

    std::optional<Redirect> login();
    // Each sign-on's reply TLVs: the body of the 17-03, or the data of the
    // classic reply on channel 4.
    std::optional<oscar::Bytes> keySignOn(Link& link);
    std::optional<oscar::Bytes> classicSignOn(Link& link);
    std::optional<oscar::Bytes> requestKey(Link& link);
    std::optional<Redirect> readRedirect(oscar::ByteView reply);
    bool startChat(const Redirect& redirect);
    bool startUp(Link& chat, const oscar::Snac& families);
    bool query(Link& chat, std::uint16_t family, std::uint16_t subtype, std::uint16_t reply,
               oscar::ByteView body = {});
    std::optional<ReceivedFrame> await(Link& link, std::uint16_t family, std::uint16_t subtype);
    std::optional<ReceivedFrame> awaitFrame(Link& link);
    void report(const ReceivedFrame& frame);
    bool fail(const std::string& why);
    std::uint32_t nextRequest() { return ++requestId_; }

    ClientOptions options_;
    Say say_;
    std::unique_ptr<Link> chat_;
    std::mt19937 random_;
    std::uint32_t requestId_ = 0;
    int frames_ = 0;
    int messages_ = 0;
};
