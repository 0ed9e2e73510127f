// The notification injected towards the client for an overdue message, in
// the form NotifyType chooses, built in the reply buffer and handed to the
// current session's host callback as a PLUGIN_COMMAND PACKET_TO_CLIENT
// record, with that session's own UIN where the form carries one.
#pragma once

#include <cstdint>
#include <string>

enum class NoticeOutcome {
    NotSent,  // no host callback known, or no frame for this NotifyType or text
    Sent,     // the host took it
    Refused,  // the host answered HOST_ERROR
};

// Sends nothing while no host callback is known, nor for a NotifyType
// outside 1 to 4 or a text too long for its frame.
NoticeOutcome notifyUndelivered(std::int32_t recipientUin, const std::string& text);
