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
uint64_t HashFile(FileHandle file, int64_t ExpectedSize, GateHandle pauseGate, std::atomic<uint64_t>* bytesDone,
                  uint8_t* DigestOut);

// Set for good when the process is to end before its run does (the console's
// Ctrl-C): HashFile reads no further piece, so bytesDone falls short of the
// size, no caller stores the digest, and the run comes to its next step soon.
extern std::atomic<bool> HashingAbandoned;

// One file for HashFilesInterleaved: the caller opens it and takes its size,
// as for HashFile; the rest is filled in when the file is done.
struct FileHashJob {
    FileHandle file;
    int64_t ExpectedSize;
    uint8_t digest[64];
    // What HashFile would have returned.
    uint64_t bytesRead;
    // The platform error (LastPlatformError) of this file's last failed read;
    // 0 when none failed. The thread's own error mixes the files up.
    int readError;
};

// Hashes the files of jobs, several at once where the processor gains by it
// (LaneCount), each with exactly HashFile's reads, waits, counting and digest;
// the files are read, never closed here. A lane whose file is done takes the
// next job, so the lanes stay full. The lanes' 64 KiB read buffers come from
// the heap, once a call, as a hashing thread's stack may be small.
void HashFilesInterleaved(FileHashJob* jobs, int count, GateHandle pauseGate,
                          std::atomic<uint64_t>* bytesDone);

// The same with files handed over one at a time: take returns the next job
// (nullptr: none left) and done gets it back once its digest is complete, in
// the order the files end, not the order taken. Both are called on this
// thread, between two blocks, and no job is held after done returns.
typedef FileHashJob* (*TakeHashJob)(void* context);
typedef void (*HashJobDone)(void* context, FileHashJob* job);
void HashFilesAsTaken(TakeHashJob take, HashJobDone done, void* context, GateHandle pauseGate,
                      std::atomic<uint64_t>* bytesDone);
