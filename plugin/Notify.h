// The notification injected towards the client for an overdue message, in
// the form NotifyType chooses, built in the reply buffer and handed to the
// host's callback as a PLUGIN_COMMAND PACKET_TO_CLIENT record.
#pragma once

#include <cstdint>
#include <string>

// Does nothing while no host callback is known. A NotifyType outside 1 to 4
// (or a text too long for its frame) sends the record without a frame. The
// host's reply is not looked at.
void notifyUndelivered(std::int32_t recipientUin, const std::string& text);
