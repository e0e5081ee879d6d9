// A slow, straightforward Whirlpool written from the standard's round functions,
// sharing nothing with the engine: it builds its own S-box from the mini-boxes
// and multiplies in GF(2^8) instead of using tables.
#pragma once

#include <cstddef>
#include <cstdint>

// One Miyaguchi-Preneel step: state <- W[state](block) ^ state ^ block.
void ReferenceCompress(uint8_t state[64], const uint8_t block[64]);

// The digest of size bytes whose padding carries lengthInBytes, which differs
// from size only to model a file that delivered fewer bytes than expected.
void ReferenceDigestWithLength(const uint8_t* data, size_t size, uint64_t lengthInBytes,
                               uint8_t digest[64]);
void ReferenceDigest(const uint8_t* data, size_t size, uint8_t digest[64]);
