// The Whirlpool digest of an open file, read in 64 KiB pieces behind a gate.
#include "engine/hash_file.h"

#include <cstring>

#include "engine/whirlpool.h"

std::atomic<bool> HashingAbandoned(false);

uint64_t HashFile(FileHandle file, int64_t ExpectedSize, GateHandle pauseGate, std::atomic<uint64_t>* bytesDone,
                  uint8_t* DigestOut) {
    // On this call's stack, so that several threads can each hash a file.
    uint8_t readBuffer[ReadBufferSize];
    std::memset(DigestOut, 0, 64);
    uint8_t* block = readBuffer;
    uint32_t buffered = 0;
    // A negative size is treated as empty, length included.
    uint64_t bitLength = ExpectedSize > 0 ? static_cast<uint64_t>(ExpectedSize) << 3 : 0;
    int64_t remaining = ExpectedSize;
    // Never asking for more than the expected size still covers keeps the last
    // partial block below 64 bytes, so the padding stays inside readBuffer.
    uint64_t unread = ExpectedSize > 0 ? static_cast<uint64_t>(ExpectedSize) : 0;
    bool readingEnded = false;

    while (remaining > 0) {
        remaining -= 64;
        if (buffered == 0 && !readingEnded) {
            WaitGate(pauseGate);
            // The digest is of nothing real then; no counting down to the end.
            if (HashingAbandoned.load()) break;
            uint32_t asked = unread < ReadBufferSize ? static_cast<uint32_t>(unread) : ReadBufferSize;
            buffered = ReadFileChunk(file, readBuffer, asked);
            if (buffered > asked) buffered = asked;
            unread -= buffered;
            block = readBuffer;
            bytesDone->fetch_add(buffered);
            // An empty read ends the reading; the remaining steps only count down.
            // Reading on after a step without a block could leave 64 bytes or
            // more for the padding.
            readingEnded = buffered == 0;
        }
        if (buffered >= 64) {
            CompressBlock(DigestOut, block);
            buffered -= 64;
            if (buffered != 0) block += 64;
        }
    }

    // Padding in place: buffered is below 64, so the block lies inside readBuffer.
    CompressPadding(DigestOut, block, buffered, bitLength);
    return (ExpectedSize > 0 ? static_cast<uint64_t>(ExpectedSize) : 0) - unread;
}
