// The outgoing-message tracker: every message the client sends is listed
// until its acknowledgement comes or it is overdue, notified and dropped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

using Cookie = std::array<std::uint8_t, 8>;

struct TrackedMessage {
    std::uint32_t sendTick = 0;     // tick counter when the message was seen
    std::int32_t recipientUin = 0;  // with the cookie, the matching key
    std::uint32_t notified = 0;     // 1 once the notification went out
    std::int32_t listLine = -1;     // the log window's line, -1 for none
    Cookie cookie{};
    std::uint8_t sendHour = 0;  // local time of sending, for the notice
    std::uint8_t sendMinute = 0;
    std::uint8_t sendSecond = 0;
};

// Entries 0 to count - 1; removal moves the last entry into the freed slot.
struct MessageList {
    std::unique_ptr<TrackedMessage[]> entries;
    std::int32_t capacity = 0;
    std::int32_t count = 0;       // messages waiting for an acknowledgement
    std::uint32_t processed = 0;  // messages added since the session's EVENT_INIT
};

inline constexpr std::int32_t INITIAL_LIST_CAPACITY = 32;

// The current session's list.
MessageList& messageList();

// Empty list with room for 32 entries; false (capacity 0) when no storage.
bool setUpMessageList();

// 0, or 1 when the list could not grow (the message is then not tracked).
int addMessage(std::int32_t recipientUin, std::uint32_t requestId, const Cookie& cookie,
               std::int32_t size);

enum class AckSource { Server, Client };

// Whether a tracked message with this UIN and cookie was found and removed.
bool ackMessage(std::int32_t uin, std::uint32_t requestId, const Cookie& cookie, AckSource source);

// One tick of the periodic timer: notifies overdue entries, drops old ones,
// in every session's list, each through its own session's callback.
void timerTick();

// Starts the periodic timer with TimerInterval (never below 10 ms) and
// keeps its id; stopTrackerTimer kills it.
void startTrackerTimer();
void stopTrackerTimer();

// Storage for the list: null when it cannot be had. Replaceable so that the
// failure paths can be exercised; null restores the default.
using ListAllocator = std::unique_ptr<TrackedMessage[]> (*)(std::size_t entries);
void setListAllocator(ListAllocator allocator);
