#include "plugin/Tracker.h"

#include <algorithm>
#include <limits>
#include <new>

#include "plugin/LogFile.h"
#include "plugin/LogWindow.h"
#include "plugin/Notify.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/TextFormat.h"

namespace {

std::unique_ptr<TrackedMessage[]> allocateEntries(std::size_t entries) {
    try {
        return std::make_unique<TrackedMessage[]>(entries);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

ListAllocator allocator = allocateEntries;

std::string cookieHex(const Cookie& cookie) {
    std::string text;
    for (const std::uint8_t byte : cookie) {
        text += formatText("%02X", byte);
    }
    return text;
}

// Room for one more entry: doubles the capacity as often as needed; a list
// left without storage by a failed set-up starts again from 32 entries.
bool makeRoom(MessageList& list) {
    while (list.count >= list.capacity) {
        if (list.capacity > std::numeric_limits<std::int32_t>::max() / 2) {
            return false;
        }
        const std::int32_t capacity =
            list.capacity == 0 ? INITIAL_LIST_CAPACITY : list.capacity * 2;
        auto entries = allocator(static_cast<std::size_t>(capacity));
        if (!entries) {
            return false;
        }
        for (std::int32_t i = 0; i < list.count; ++i) {
            entries[i] = list.entries[i];
        }
        list.entries = std::move(entries);
        list.capacity = capacity;
    }
    return true;
}

void removeEntry(MessageList& list, std::int32_t index) {
    if (index != list.count - 1) {
        list.entries[index] = list.entries[list.count - 1];
    }
    --list.count;
}

// Elapsed time since sending, unsigned so that the tick counter's wrap does
// not matter; a negative timeout counts as 0.
bool isPast(std::uint32_t now, std::uint32_t sendTick, std::int32_t timeout) {
    const auto limit = static_cast<std::uint32_t>(timeout < 0 ? 0 : timeout);
    return now - sendTick > limit;
}

// The notice, and a line naming its recipient, message and form. The entry
// is copied first: the host's callback may move the list.
void notifyEntry(const TrackedMessage& tracked) {
    const TrackedMessage entry = tracked;
    const std::string text =
        formatText("[[%s: The message sent on %02i:%02i:%02i was not delivered to %i]]", "Dorrimel",
                   entry.sendHour, entry.sendMinute, entry.sendSecond, entry.recipientUin);
    const std::int32_t type = pluginSettings().notifyType;
    const NoticeOutcome outcome = notifyUndelivered(entry.recipientUin, text);
    if (outcome == NoticeOutcome::NotSent) {
        return;  // no frame is built for a type outside 1 to 4
    }
    logToFile(sessionPrefix() + formatText("Notice   to  % 10i %08X-", entry.recipientUin, 0u) +
              cookieHex(entry.cookie) +
              formatText(" sent %02i:%02i:%02i as %s", entry.sendHour, entry.sendMinute,
                         entry.sendSecond, NOTIFY_TYPE_NAMES[static_cast<std::size_t>(type - 1)]) +
              (outcome == NoticeOutcome::Refused ? ", refused by the host" : ""));
}

void expireEntry(MessageList& list, std::int32_t index) {
    const TrackedMessage& entry = list.entries[index];
    logToFile(sessionPrefix() + formatText("Removed  to  % 10i %08X-", entry.recipientUin, 0u) +
              cookieHex(entry.cookie));
    extendLogLine(entry.listLine, " - removed");
    removeEntry(list, index);
    updateCounters();
}

}  // namespace

void setListAllocator(ListAllocator replacement) {
    allocator = replacement != nullptr ? replacement : allocateEntries;
}

bool setUpMessageList() {
    MessageList& list = messageList();
    list.count = 0;
    list.capacity = INITIAL_LIST_CAPACITY;
    list.entries = allocator(INITIAL_LIST_CAPACITY);
    if (!list.entries) {
        list.capacity = 0;
        return false;
    }
    return true;
}

int addMessage(std::int32_t recipientUin, std::uint32_t requestId, const Cookie& cookie,
               std::int32_t size) {
    MessageList& list = messageList();
    if (!makeRoom(list)) {
        return 1;
    }
    const PluginDateTime local = pluginClock().localDateTime();
    TrackedMessage& entry = list.entries[list.count];
    entry = TrackedMessage{};
    entry.sendTick = pluginClock().tickCount();
    entry.sendHour = static_cast<std::uint8_t>(local.hour);
    entry.sendMinute = static_cast<std::uint8_t>(local.minute);
    entry.sendSecond = static_cast<std::uint8_t>(local.second);
    entry.recipientUin = recipientUin;
    entry.cookie = cookie;
    logToFile(sessionPrefix() + formatText("Out msg  to  % 10i %08X-", recipientUin, requestId) +
              cookieHex(cookie) + formatText(" (%i b)", size) + " added");
    entry.listLine =
        appendLogLine(sessionPrefix() + formatText("%02i.%02i.%02i for% 10i, %i b.", local.hour,
                                                   local.minute, local.second, recipientUin, size));
    ++list.count;
    ++list.processed;
    updateCounters();
    return 0;
}

bool ackMessage(std::int32_t uin, std::uint32_t requestId, const Cookie& cookie, AckSource source) {
    MessageList& list = messageList();
    std::int32_t found = list.count - 1;
    while (found >= 0 &&
           !(list.entries[found].recipientUin == uin && list.entries[found].cookie == cookie)) {
        --found;
    }
    const bool server = source == AckSource::Server;
    std::string line =
        sessionPrefix() +
        formatText("%s from % 10i %08X-", server ? "Srv ack" : "Ack msg", uin, requestId) +
        cookieHex(cookie);
    if (found < 0) {
        logToFile(line + " not found");
        const PluginDateTime local = pluginClock().localDateTime();
        appendLogLine(sessionPrefix() +
                      formatText("%02i.%02i.%02i from% 9i  received", local.hour, local.minute,
                                 local.second, uin) +
                      (server ? " srv ack" : " ack"));
        updateCounters();
        return false;
    }
    const std::int32_t elapsed =
        static_cast<std::int32_t>(pluginClock().tickCount() - list.entries[found].sendTick);
    const std::int32_t listLine = list.entries[found].listLine;
    removeEntry(list, found);
    logToFile(line + formatText(" %i ms", elapsed));
    extendLogLine(listLine,
                  formatText(server ? " - srv ack in %i ms" : " - ack in %i ms", elapsed));
    updateCounters();
    return true;
}

// One session's overdue entries, while that session is current.
void tickList(MessageList& list) {
    const std::uint32_t now = pluginClock().tickCount();
    const PluginSettings& settings = pluginSettings();
    std::int32_t i = 0;
    while (i < list.count) {
        TrackedMessage& entry = list.entries[i];
        if (entry.notified == 0 && isPast(now, entry.sendTick, settings.waitTimeout)) {
            const TrackedMessage* storage = list.entries.get();
            notifyEntry(entry);
            // The host's callback must not release the plug-in; if it did,
            // the entry is gone and so is this tick's work.
            if (list.entries.get() != storage || i >= list.count) {
                return;
            }
            list.entries[i].notified = 1;
            ++i;
        } else if (entry.notified != 0 && isPast(now, entry.sendTick, settings.removeTimeout)) {
            expireEntry(list, i);
        } else {
            ++i;
        }
    }
}

void timerTick() {
    PluginState& s = pluginState();
    const std::shared_ptr<Session> named = s.current;
    // A copy that holds each session until its turn is over: a host callback
    // may end sessions meanwhile, whose lists are then not ticked.
    const std::vector<std::shared_ptr<Session>> sessions = s.sessions;
    const auto served = [&s](const std::shared_ptr<Session>& session) {
        return std::find(s.sessions.begin(), s.sessions.end(), session) != s.sessions.end();
    };
    for (const std::shared_ptr<Session>& session : sessions) {
        if (served(session)) {
            s.current = session;
            tickList(session->list);
        }
    }
    if (served(named)) {
        s.current = named;
    }
}

void startTrackerTimer() {
    PluginState& s = pluginState();
    s.timerId = 0;
    if (PluginPlatform* platform = pluginPlatform()) {
        const std::int32_t period = pluginSettings().timerInterval;
        s.timerId = platform->startTimer(
            period < MIN_TIMER_PERIOD_MS ? MIN_TIMER_PERIOD_MS : period, timerTick);
    }
}

void stopTrackerTimer() {
    PluginState& s = pluginState();
    if (s.timerId != 0) {
        if (PluginPlatform* platform = pluginPlatform()) {
            platform->killTimer(s.timerId);
        }
        s.timerId = 0;
    }
}
