// The stored digest as text: byte i as two upper-case hex digits followed by
// a line feed when i + 1 is a multiple of 16, else a blank. Pure and portable.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Writes 3 units per byte at text and a terminator after them.
void AppendDigestHex(PathChar* text, const uint8_t* bytes, int count);
