// Decoding of the events that reach pluginFun.
#pragma once

#include <cstdint>

// The answer record for EVENT_INIT (the reply buffer), null for everything
// else, malformed records included.
const std::uint8_t* dispatchEvent(const std::uint8_t* record);
