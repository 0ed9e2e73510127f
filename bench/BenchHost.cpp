#include "bench/BenchHost.h"

#include <chrono>
#include <filesystem>
#include <span>
#include <stdexcept>

#include "bench/AllocCounter.h"
#include "proxy/core/SocketWatch.h"

namespace {

using Stopwatch = std::chrono::steady_clock;

constexpr const char* kUin = "123456789";
constexpr auto kPatience = std::chrono::seconds(5);

std::unique_ptr<BenchHost>& hostSlot() {
    static std::unique_ptr<BenchHost> host;
    return host;
}

Peer acceptFrom(TestListener& listener) {
    std::optional<Peer> peer = listener.accept(kWaitMs);
    if (!peer) {
        throw std::runtime_error("the proxy did not connect to the bench's server");
    }
    return std::move(*peer);
}

Peer connectOrThrow(std::uint16_t port) {
    std::optional<Peer> peer = connectTo(port);
    if (!peer) {
        throw std::runtime_error("the proxy does not listen on port " + std::to_string(port));
    }
    return std::move(*peer);
}

}  // namespace

BenchHost::BenchHost(const std::string& pluginPath) {
    std::filesystem::copy_file(pluginPath, dir_.path() / PLUGIN_FILE_NAME);
    form_ = std::make_unique<Form1>(clock_, boxes_, dir_.string());
    form_->setSocketWatch(&loop_);
    form_->Form_Load();  // makes the scratch folder current
    Controls& ctl = form_->ctl;
    ctl.Text1 = "127.0.0.1";
    ctl.Text2 = std::to_string(freePort());
    ctl.Text3 = "127.0.0.1";
    ctl.Text4 = std::to_string(loginServer_.port);
    ctl.Text7 = "127.0.0.1";
    ctl.Text8 = std::to_string(chatPort_);
    form_->Timer1_Timer();  // opens the login listener
    measured_ = startChat(kUin);
    // Dorrimel answers EVENT_INIT with its title; without it the benchmarks
    // would measure a host that has no plug-in.
    if (ctl.labPlug.rfind("Dorrimel", 0) != 0) {
        throw std::runtime_error("Dorrimel did not answer EVENT_INIT: " + ctl.labPlug);
    }
}

BenchHost::~BenchHost() {
    try {
        useSessions(1);
        endChat(measured_);
    } catch (const std::exception&) {
        // Unloading closes what is left.
    }
    form_->Form_Unload();
    form_.reset();
}

void BenchHost::runUntil(const std::function<bool()>& done, const char* what) {
    const auto giveUp = Stopwatch::now() + kPatience;
    while (!done()) {
        if (Stopwatch::now() >= giveUp) {
            throw std::runtime_error(std::string("the proxy never reached ") + what);
        }
        loop_.runOnce(*form_, 10);
    }
}

const Session& BenchHost::session(int index) const {
    for (int i = 0; i < form_->running(); ++i) {
        if (form_->runningSession(i).index == index) {
            return form_->runningSession(i);
        }
    }
    throw std::runtime_error("session " + std::to_string(index) + " is not running");
}

BenchHost::Chat BenchHost::startChat(const std::string& uin) {
    std::string ip;
    std::uint16_t port = 0;
    if (Sok_name(form_->loginListener, ip, port) != 0) {
        throw std::runtime_error("no login listener");
    }
    const int before = form_->running();
    Peer client = connectOrThrow(port);
    runUntil([&] { return form_->running() > before; }, "a new session");
    Chat chat;
    chat.index = form_->runningSession(before).index;
    const Session& s = session(chat.index);
    runUntil([&s] { return s.loginMode == LOGIN_RELAY; }, "the login relay");
    Peer server = acceptFrom(loginServer_);
    client.send(flap(2, 0x0102, snac(0x17, 0x06, concat({tlv(1, uin), tlv(2, "pw")}))));
    runUntil([&server] { return !server.takeFrames().empty(); }, "the login request's relay");
    const std::string chatServer = "127.0.0.1:" + std::to_string(chatServer_.port);
    server.send(flap(2, 0x7001, snac(0x17, 0x03, concat({tlv(1, uin), tlv(5, chatServer)}))));
    runUntil([&client] { return !client.takeFrames().empty(); }, "the redirect's relay");
    server.close();
    runUntil([&s] { return s.loginMode != LOGIN_RELAY; }, "the end of the sign-on");
    if (s.chatMode != CHAT_AWAIT_CLIENT) {
        throw std::runtime_error("the sign-on did not open the chat listener");
    }
    chat.client.emplace(connectOrThrow(chatPort_));
    runUntil([&s] { return s.chatMode == CHAT_RELAY; }, "the chat relay");
    chat.server.emplace(acceptFrom(chatServer_));
    return chat;
}

void BenchHost::endChat(Chat& chat) {
    if (!chat.client) {
        return;
    }
    const Session& s = session(chat.index);
    chat.client.reset();
    runUntil([&s] { return s.chatMode == CHAT_ENDED; }, "the end of the chat session");
    chat.server.reset();
    form_->Timer1_Timer();  // the ended session is released
}

void BenchHost::restartSession() {
    endChat(measured_);
    measured_ = startChat(kUin);
}

void BenchHost::useSessions(int count) {
    while (static_cast<int>(others_.size()) + 1 < count) {
        others_.push_back(startChat(std::to_string(200000001 + others_.size())));
    }
    while (static_cast<int>(others_.size()) + 1 > count) {
        endChat(others_.back());
        others_.pop_back();
    }
}

RelayCost BenchHost::relay(bool fromClient, const ByteVec& bytes) {
    Peer& from = fromClient ? *measured_.client : *measured_.server;
    Peer& to = fromClient ? *measured_.server : *measured_.client;
    const Session& s = session(measured_.index);
    const int slot = fromClient ? SLOT_CLIENT_CHAT : SLOT_SERVER_CHAT;
    const auto giveUp = Stopwatch::now() + kPatience;
    RelayCost cost;
    std::size_t offered = 0;
    std::size_t arrived = 0;
    while (arrived < bytes.size()) {
        offered += from.offer(std::span(bytes).subspan(offered));
        // The first report is the one the event loop makes for the bytes
        // just sent; any later one comes from the loop, for either side.
        bool reported = true;
        std::uint64_t allocations = 0;
        Stopwatch::time_point start;
        Stopwatch::time_point end;
        if (cost.reports == 0) {
            awaitReadable(s.sockets[slot], kWaitMs);
            allocations = allocationCount();
            start = Stopwatch::now();
            form_->socketReady(watchKey(measured_.index, slot), SOK_READABLE);
            end = Stopwatch::now();
        } else {
            allocations = allocationCount();
            start = Stopwatch::now();
            reported = loop_.runOnce(*form_, 0) > 0;
            end = Stopwatch::now();
        }
        if (reported) {
            cost.seconds += std::chrono::duration<double>(end - start).count();
            cost.allocations += allocationCount() - allocations;
            ++cost.reports;
        }
        to.awaitAndPoll(reported ? 0 : 1);
        arrived += to.received.size();
        to.received.clear();
        if (s.chatMode != CHAT_RELAY || Stopwatch::now() >= giveUp) {
            throw std::runtime_error("the relay delivered " + std::to_string(arrived) + " of " +
                                     std::to_string(bytes.size()) + " bytes");
        }
    }
    return cost;
}

BenchHost& benchHost() {
    std::unique_ptr<BenchHost>& host = hostSlot();
    if (!host) {
        host = std::make_unique<BenchHost>(DORRIMEL_PLUGIN_PATH);
    }
    return *host;
}

void endBenchHost() {
    hostSlot().reset();
}
