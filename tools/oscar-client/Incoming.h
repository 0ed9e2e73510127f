// What an incoming chat frame means to the user of the scripted client: the
// text of messages (4/7 on channels 1 and 4, offline messages 15/3), the
// acknowledgements and errors of family 4, a sign-off by the server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/oscar-wire/ByteReader.h"

struct Incoming {
    std::vector<std::string> lines;
    int messages = 0;  // messages among them (each has one line)
};

Incoming describeIncoming(std::uint8_t channel, oscar::ByteView data);
// The text with control and non-ASCII bytes written as \xNN.
std::string printable(const std::string& text);
