// The chat frames the benchmarks relay, built as the client and the server
// send them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tests/support/Flap.h"

// A chat frame of `bytes` bytes in all (100 is typical) that Dorrimel
// inspects and lets pass: an ICQ meta request (SNAC 0x15/2) on channel 2.
ByteVec typicalFrame(std::size_t bytes = 100);

// An outgoing message of about 100 bytes (SNAC 4/6) with an ack request,
// to recipient "987654321", and the server's acknowledgement of it (4/0C).
// `tag` goes into the cookie so that every message is a new one.
ByteVec messageFrame(std::uint32_t tag);
ByteVec serverAckFrame(std::uint32_t tag);

// `count` such frames back to back, as one receive may deliver them.
ByteVec typicalFrames(int count, std::size_t bytes = 100);
