#include "tests/support/PluginRecords.h"

#include <algorithm>

std::vector<Bytes> hostCalls;
std::vector<Bytes> otherHostCalls;

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Bytes be(std::uint32_t value, std::size_t width) {
    Bytes out;
    for (std::size_t i = width; i-- > 0;) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

namespace {

Bytes stringField(const std::string& text) {
    Bytes out = le32(static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

}  // namespace

bool hostRefuses = false;

namespace {

const std::uint8_t* recordInto(std::vector<Bytes>& calls, const std::uint8_t* record) {
    static const std::uint8_t ack[6] = {2, 0, 0, 0, HOST_ACK, ACK_OK};
    static const std::uint8_t refusal[6] = {2, 0, 0, 0, HOST_ERROR, ERROR_TRANSMIT};
    const std::uint32_t length =
        record[0] | record[1] << 8 | record[2] << 16 | static_cast<std::uint32_t>(record[3]) << 24;
    calls.emplace_back(record, record + 4 + length);
    return hostRefuses ? refusal : ack;
}

// The callback fields of init and session records: the low 32 bits and, on
// 64-bit builds, the full address after the fields between.
Bytes lowBits(HostCallbackFunction callback) {
    return le32(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(callback)));
}

Bytes fullAddress(HostCallbackFunction callback) {
    const auto address = std::uint64_t{reinterpret_cast<std::uintptr_t>(callback)};
    if constexpr (sizeof(HostCallbackFunction) > 4) {
        Bytes out = le32(static_cast<std::uint32_t>(address));
        append(out, le32(static_cast<std::uint32_t>(address >> 32)));
        return out;
    }
    return {};
}

}  // namespace

const std::uint8_t* PLUG_CALL recordingHostCallback(const std::uint8_t* record) {
    return recordInto(hostCalls, record);
}

const std::uint8_t* PLUG_CALL otherHostCallback(const std::uint8_t* record) {
    return recordInto(otherHostCalls, record);
}

Bytes le32(std::uint32_t value) {
    Bytes out = be(value, 4);
    return Bytes(out.rbegin(), out.rend());
}

Bytes eventRecord(std::uint8_t code, const Bytes& data) {
    Bytes out = le32(static_cast<std::uint32_t>(2 + data.size()));
    out.push_back(PLUGIN_EVENT);
    out.push_back(code);
    append(out, data);
    return out;
}

Bytes initRecord(std::uint32_t ownUin, const std::string& programDir, HostCallbackFunction callback,
                 std::uint32_t hostApiVersion) {
    Bytes data = lowBits(callback);
    append(data, le32(hostApiVersion));
    append(data, stringField(programDir));
    append(data, stringField(programDir));
    append(data, le32(ownUin));
    append(data, fullAddress(callback));
    return eventRecord(EVENT_INIT, data);
}

Bytes sessionRecord(HostCallbackFunction callback) {
    Bytes data = lowBits(callback);
    append(data, fullAddress(callback));
    return eventRecord(EVENT_SESSION, data);
}

Bytes withLength(Bytes record, std::uint32_t length) {
    const Bytes l = le32(length);
    std::copy(l.begin(), l.end(), record.begin());
    return record;
}

Bytes flap(std::uint8_t channel, const Bytes& data, int declaredLength) {
    Bytes out{0x2A, channel, 0x12, 0x34};
    append(out, be(declaredLength < 0 ? static_cast<std::uint32_t>(data.size())
                                      : static_cast<std::uint32_t>(declaredLength),
                   2));
    append(out, data);
    return out;
}

Bytes snac(std::uint16_t family, std::uint16_t subtype, std::uint32_t requestId,
           const Bytes& body) {
    Bytes out = be(family, 2);
    append(out, be(subtype, 2));
    append(out, be(0, 2));
    append(out, be(requestId, 4));
    append(out, body);
    return out;
}

Bytes messageBody(const std::array<std::uint8_t, 8>& cookie, const std::string& uinText) {
    Bytes out(cookie.begin(), cookie.end());
    append(out, be(1, 2));  // message channel
    out.push_back(static_cast<std::uint8_t>(uinText.size()));
    out.insert(out.end(), uinText.begin(), uinText.end());
    append(out, {0x00, 0x02, 0x00, 0x04, 'h', 'e', 'y', '!'});  // a TLV after the UIN
    return out;
}

std::uint32_t readLe(const Bytes& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= static_cast<std::uint32_t>(bytes.at(at + i)) << (8 * i);
    }
    return value;
}

std::uint32_t readBe(const Bytes& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = value << 8 | bytes.at(at + i);
    }
    return value;
}
