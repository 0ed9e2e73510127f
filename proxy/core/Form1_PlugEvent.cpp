// The host's outgoing half: events to the plug-in, the init event and the
// "Preferences" button.
#include <algorithm>
#include <array>

#include "proxy/core/Form1.h"
#include "proxy/core/HostCallback.h"
#include "proxy/core/RunFault.h"
#include "proxy/net/HexStrBin.h"
#include "proxy/plugin_host/PluginApi.h"
#include "proxy/plugin_host/RecordBytes.h"

namespace {

// Appends fields to a record buffer; a field that does not fit faults.
class PayloadWriter {
  public:
    explicit PayloadWriter(std::span<std::uint8_t> buffer) : buffer_(buffer) {}

    template <typename Value>
    void put(Value value) {
        writeLe(buffer_, size_, value);
        size_ += sizeof value;
    }
    // An interface string: its length, then its bytes.
    void put(const std::string& text) {
        put(static_cast<std::uint32_t>(text.size()));
        if (text.size() > buffer_.size() - size_) {
            throw std::out_of_range("string outside the buffer");
        }
        std::copy(text.begin(), text.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(size_));
        size_ += text.size();
    }
    std::size_t size() const { return size_; }

  private:
    std::span<std::uint8_t> buffer_;
    std::size_t size_ = 0;
};

// A callback's address as the records carry it: the low 32 bits in the
// field every build has, and on a wider build the whole address.
void putLowHalf(PayloadWriter& payload, HostCallbackFunction callback) {
    payload.put(ProcAddr(callback));
}
void putWhole(PayloadWriter& payload, HostCallbackFunction callback) {
    if constexpr (sizeof callback > sizeof(std::uint32_t)) {
        payload.put(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(callback)));
    }
}

}  // namespace

bool Form1::pluginServes(std::uint8_t code) {
    Session& s = acting();
    if (code == EVENT_PREFERENCES || pluginSeveral_) {
        return true;  // the plug-in's own, of no session; or it serves them all
    }
    if (pluginSession_ == nullptr) {
        pluginSession_ = &s;
    }
    return pluginSession_ == &s;
}

int Form1::PlugEvent(std::uint8_t code, const std::uint8_t* data, std::int32_t n) {
    const Handler handler(*this);
    Session& s = acting();
    if (!pluginServes(code)) {
        return 0;
    }
    // After its EVENT_FINISH a plug-in of one session serves the next that starts.
    const struct Finish {
        Session*& served;
        const Session* of;
        ~Finish() {
            if (served == of) {
                served = nullptr;
            }
        }
    } finish{pluginSession_, code == EVENT_FINISH ? &s : nullptr};
    try {
        if (n < 0 || n > static_cast<std::int32_t>(PLUG_MAX_EVENT_DATA) ||
            (n > 0 && data == nullptr)) {
            LogLine("Plugin event " + std::to_string(code) + " refused: " + std::to_string(n) +
                    " bytes of data do not fit");
            return 0;
        }
        std::string failure;
        const PluginFunction entry = pluginEntry(programDir_, failure);
        pluginBound(entry != nullptr, failure);
        if (entry == nullptr) {
            return 0;
        }
        if (entry != pluginKindOf_) {
            pluginSeveral_ = false;
            pluginKindOf_ = entry;
        }
        if (code == EVENT_INIT) {
            pluginNamed_ = &s;
        } else if (code != EVENT_PREFERENCES) {
            nameSession(entry, s);
        }
        Session* const target = code != EVENT_PREFERENCES ? &s
                                : pluginSeveral_          ? pluginNamed_
                                                          : &pluginSession();
        const std::uint8_t* answer = deliver(entry, code, data, n);
        if (code == EVENT_INIT) {
            pluginSeveral_ = false;  // each answer to it says anew
        }
        if (answer != nullptr) {
            // The answer is read completely here, before any other call into
            // the plug-in; a reply to an answered command has nowhere to go.
            const Commanding commanding(*this, target);
            PlugCallback(answer, code);
        }
        if (code == EVENT_INIT && !pluginSeveral_) {
            pluginSession_ = &s;
        }
        return answer != nullptr ? 1 : 0;
    } catch (...) {
        logFault(FAULT_IN_PLUG_EVENT);
        return 0;
    }
}

const std::uint8_t* Form1::deliver(PluginFunction entry, std::uint8_t code,
                                   const std::uint8_t* data, std::int32_t n) {
    writeLe(std::span(eventRecord), 0, static_cast<std::uint32_t>(n + 2));
    eventRecord[4] = PLUGIN_EVENT;
    eventRecord[5] = code;
    std::copy_n(data, n, eventRecord.begin() + PLUG_EVENT_HEAD_SIZE);
    return entry(eventRecord.data());
}

void Form1::nameSession(PluginFunction entry, Session& s) {
    if (!pluginSeveral_ || pluginNamed_ == &s) {
        return;
    }
    pluginNamed_ = &s;
    std::array<std::uint8_t, sizeof(std::uint32_t) + sizeof(std::uint64_t)> fields{};
    PayloadWriter payload(fields);
    putLowHalf(payload, sessionCallback(s.index));
    putWhole(payload, sessionCallback(s.index));
    // Its answer is not read: EVENT_SESSION only names the session.
    static_cast<void>(
        deliver(entry, EVENT_SESSION, fields.data(), static_cast<std::int32_t>(payload.size())));
}

void Form1::PlugInit() {
    try {
        Session& s = acting();
        if (!pluginServes(EVENT_INIT)) {
            LogLine("The plug-in serves another session; UIN " + std::to_string(s.ownUin) +
                    " is relayed without it");
            return;
        }
        // Beyond the callbacks' indices the address is null: the plug-in
        // keeps no callback.
        const HostCallbackFunction callback = sessionCallback(s.index);
        PayloadWriter payload(initPayload);
        putLowHalf(payload, callback);
        payload.put(HOST_API_VERSION);
        payload.put(programDir_);
        payload.put(programDir_);
        payload.put(static_cast<std::uint32_t>(s.ownUin));
        putWhole(payload, callback);
        pluginFailure_.clear();  // each sign-on says whether there is a plug-in
        PlugEvent(EVENT_INIT, initPayload.data(), static_cast<std::int32_t>(payload.size()));
        ctl.txtUIN = std::to_string(s.ownUin);
        if (pluginFailure_.empty()) {
            LogLine("Plugin initialized");
        }
    } catch (...) {
        logFault(FAULT_IN_PLUG_INIT);
    }
}

// A plug-in that cannot be bound is named in the log at each sign-on and
// otherwise once per reason, and in the plug-in panel; the relay goes on
// without it.
void Form1::pluginBound(bool bound, const std::string& failure) {
    if (bound) {
        pluginFailure_.clear();
        if (ctl.labPlug == NO_PLUGIN_CAPTION) {
            ctl.labPlug.clear();
        }
        return;
    }
    const std::string reason = failure.empty() ? "unknown reason" : failure;
    if (reason == pluginFailure_) {
        return;
    }
    pluginFailure_ = reason;
    ctl.labPlug = NO_PLUGIN_CAPTION;
    plainLine("Plug-in " + pluginPath(programDir_) + " could not be loaded: " + pluginFailure_);
}

void Form1::Command2_Click() {
    LogLine("Plugin preferences");
    PlugEvent(EVENT_PREFERENCES, nullptr, 0);
}
