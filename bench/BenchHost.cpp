#include "bench/BenchHost.h"

#include <stdexcept>

#include "proxy/core/PlugEventCodes.h"

namespace {

constexpr std::int32_t kSeqLimit = 0x7FFF;

// The pump's stamp: the sequence number into frame bytes 2 and 3, then the
// next one, wrapping above 0x7FFF to 0.
void stamp(std::span<std::uint8_t> frame, std::int32_t& seq) {
    frame[2] = static_cast<std::uint8_t>(seq / 256);
    frame[3] = static_cast<std::uint8_t>(seq % 256);
    seq = seq >= kSeqLimit ? 0 : seq + 1;
}

std::unique_ptr<BenchHost>& hostSlot() {
    static std::unique_ptr<BenchHost> host;
    return host;
}

}  // namespace

BenchHost::BenchHost(const std::string& pluginPath) {
    std::filesystem::copy_file(pluginPath, dir_.path() / PLUGIN_FILE_NAME);
    form_ = std::make_unique<Form1>(clock_, boxes_, dir_.string());
    form_->Form_Load();  // makes the scratch folder current
    form_->chatMode = CHAT_IDLE;
    form_->ownUin = 123456789;
    form_->PlugInit();
    // Dorrimel answers EVENT_INIT with its title; without it the benchmarks
    // would measure a host that has no plug-in.
    if (form_->ctl.labPlug.rfind("Dorrimel", 0) != 0) {
        throw std::runtime_error("Dorrimel did not answer EVENT_INIT: " + form_->ctl.labPlug);
    }
    openChatSession();
}

// Client-chat and server-chat as the pump leaves them after a connect,
// except that server-chat gets no event object: its receive then returns at
// once instead of waiting 10 ms, so that a tick measures work, not a wait.
void BenchHost::openChatSession() {
    auto [clientSlot, clientFar] = loopbackPair();
    auto [serverSlot, serverFar] = loopbackPair();
    form_->sockets[SLOT_CLIENT_CHAT] = clientSlot;
    form_->sockets[SLOT_SERVER_CHAT] = serverSlot;
    client_.emplace(std::move(clientFar));
    server_.emplace(std::move(serverFar));
    form_->ResetCounters();
    form_->links[SLOT_CLIENT_CHAT].reset();
    form_->links[SLOT_SERVER_CHAT].reset();
    form_->PlugEvent(EVENT_CHAT_CONNECTED, nullptr, 0);
    form_->chatMode = CHAT_RELAY;
}

BenchHost::~BenchHost() {
    form_->PlugEvent(EVENT_CHAT_DISCONNECTED, nullptr, 0);
    form_->PlugEvent(EVENT_FINISH, nullptr, 0);
    form_->chatMode = CHAT_IDLE;
    form_->Form_Unload();
    form_.reset();
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

int relayInProcess(Form1& form, FrameCollector& side, std::span<const std::uint8_t> received,
                   bool fromClient, bool send) {
    const auto n = static_cast<std::int32_t>(received.size());
    const int from = fromClient ? DIR_FROM_CLIENT : DIR_FROM_SERVER;
    const int to = fromClient ? DIR_TO_SERVER : DIR_TO_CLIENT;
    form.Bytes[from] += n;
    form.Datagramms[from] += 1;
    int sent = 0;
    int whole = form.PacketCollect(side, received.data(), n);
    while (whole == 1) {
        const std::span<std::uint8_t> frame = side.front();
        const auto size = static_cast<std::int32_t>(frame.size());
        form.Packets[from] += 1;
        if (form.PlugEvent(fromClient ? PACKET_TO_SERVER : PACKET_TO_CLIENT, frame.data(), size) !=
            0) {
            form.Skipped[fromClient ? 1 : 0] += 1;
        } else {
            stamp(frame, fromClient ? form.seqToServer : form.seqToClient);
            const int slot = fromClient ? SLOT_SERVER_CHAT : SLOT_CLIENT_CHAT;
            if (!send || Sok_send(form.sockets[slot], frame.data(), size) == size) {
                form.Packets[to] += 1;
                form.Datagramms[to] += 1;
                form.Bytes[to] += size;
                ++sent;
            }
        }
        form.PacketRemove(side);
        whole = form.PacketCollect(side, nullptr, 0);
    }
    return sent;
}
