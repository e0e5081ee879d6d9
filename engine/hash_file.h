// The Whirlpool digest of an open file, read in 64 KiB pieces behind a gate.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

const uint32_t ReadBufferSize = 65536;

// Reads ceil(ExpectedSize / 65536) pieces at most, waiting on pauseGate before
// each read and adding every read's count to bytesDone; the padding carries
// ExpectedSize whatever the reads delivered. Several threads may each hash a
// file at the same time. Returns the bytes read: bytesDone is shared by them.
uint64_t HashFile(FileHandle file, int64_t ExpectedSize, uint8_t* DigestOut, GateHandle pauseGate,
              std::atomic<uint64_t>* bytesDone);

// Set for good when the process is to end before its run does (the console's
// Ctrl-C): HashFile reads no further piece, so bytesDone falls short of the
// size, no caller stores the digest, and the run comes to its next step soon.
extern std::atomic<bool> HashingAbandoned;
