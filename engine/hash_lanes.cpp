// Several files hashed at once on one thread, one block of each per step, so
// that an interleaving compression routine has a message in every lane. Each
// lane follows HashFile step for step: the same reads into its own 64 KiB
// buffer, the same blocks absorbed, the same padding.
#include <cstdlib>
#include <cstring>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"

enum LanePhase {
    LaneEmpty,     // no file: takes the next job at the next step
    LaneData,      // absorbing the file's blocks
    LanePadding,   // the first of two padding blocks is absorbed; the length block follows
    LaneFinishing  // the block under way is the file's last
};

struct Lane {
    FileHashJob* job;
    LanePhase phase;
    uint8_t* buffer;  // ReadBufferSize bytes
    uint8_t* block;   // the next block to absorb, or where the padding goes
    uint32_t buffered;  // read and not yet absorbed, from block on
    uint64_t unread;  // of ExpectedSize
};

struct LaneSource {
    TakeHashJob take;
    HashJobDone done;
    void* context;
    GateHandle pauseGate;
    std::atomic<uint64_t>* bytesDone;
};

static void StartJob(Lane* lane, FileHashJob* job) {
    lane->job = job;
    lane->phase = LaneData;
    std::memset(job->digest, 0, 64);
    job->bytesRead = 0;
    job->readError = 0;
    lane->block = lane->buffer;
    lane->buffered = 0;
    // A negative size is treated as empty, length included.
    lane->unread = job->ExpectedSize > 0 ? static_cast<uint64_t>(job->ExpectedSize) : 0;
}

// HashFile's read: behind the gate and never beyond the expected size.
static void ReadPiece(Lane* lane, const LaneSource& source) {
    WaitGate(source.pauseGate);
    if (HashingAbandoned.load()) return;
    uint32_t asked = lane->unread < ReadBufferSize ? static_cast<uint32_t>(lane->unread) : ReadBufferSize;
    ClearPlatformError();
    uint32_t got = ReadFileChunk(lane->job->file, lane->buffer, asked);
    int error = LastPlatformError();
    if (error != 0) lane->job->readError = error;
    if (got > asked) got = asked;
    lane->unread -= got;
    lane->job->bytesRead += got;
    lane->buffered = got;
    lane->block = lane->buffer;
    source.bytesDone->fetch_add(got);
}

// The length block at block: zeros from p on, then the bit length big-endian.
static void WriteLengthBlock(Lane* lane, uint32_t p) {
    uint64_t size = lane->job->ExpectedSize > 0 ? static_cast<uint64_t>(lane->job->ExpectedSize) : 0;
    uint64_t bitLength = size << 3;
    std::memset(lane->block + p, 0, 56 - p);
    for (int n = 0; n < 8; n++) lane->block[63 - n] = static_cast<uint8_t>(bitLength >> (8 * n));
    lane->phase = LaneFinishing;
}

// The lane's next block, reading or padding as HashFile would; null when the
// lane is empty and no job is left.
static const uint8_t* NextBlock(Lane* lane, const LaneSource& source) {
    if (lane->phase == LaneEmpty) {
        FileHashJob* job = source.take(source.context);
        if (!job) return nullptr;
        StartJob(lane, job);
    }
    if (lane->phase == LanePadding) {
        WriteLengthBlock(lane, 0);
        return lane->block;
    }
    // LaneData: a read only once all before it is absorbed. Fewer than 64
    // bytes after it (an empty or short read, the end, or hashing abandoned)
    // end the data: HashFile would read no more and only count down.
    if (lane->buffered == 0 && lane->unread > 0) ReadPiece(lane, source);
    if (lane->buffered >= 64) return lane->block;
    uint32_t p = lane->buffered;
    lane->block[p++] = 0x80;
    if (p > 32) {
        std::memset(lane->block + p, 0, 64 - p);
        lane->phase = LanePadding;
    } else {
        WriteLengthBlock(lane, p);
    }
    return lane->block;
}

// After the block from NextBlock is absorbed.
static void AfterBlock(Lane* lane, const LaneSource& source) {
    if (lane->phase == LaneData) {
        lane->buffered -= 64;
        // At 0 the block stays: the next read or the padding reuses its place.
        if (lane->buffered != 0) lane->block += 64;
    } else if (lane->phase == LaneFinishing) {
        FileHashJob* job = lane->job;
        lane->job = nullptr;
        lane->phase = LaneEmpty;
        source.done(source.context, job);
    }
}

static void HashOneByOne(const LaneSource& source) {
    while (FileHashJob* job = source.take(source.context)) {
        ClearPlatformError();
        job->bytesRead = HashFile(job->file, job->ExpectedSize, source.pauseGate, source.bytesDone, job->digest);
        job->readError = LastPlatformError();
        source.done(source.context, job);
    }
}

static void HashInLanes(const LaneSource& source) {
    // On the heap: a hashing thread's stack on Windows may be small.
    uint8_t* buffers = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(LaneCount) * ReadBufferSize));
    if (!buffers) {
        HashOneByOne(source);
        return;
    }
    Lane lanes[MaxLaneCount];
    for (int n = 0; n < LaneCount; n++) {
        lanes[n].job = nullptr;
        lanes[n].phase = LaneEmpty;
        lanes[n].buffer = buffers + static_cast<size_t>(n) * ReadBufferSize;
    }
    // Lanes without a file absorb a block of zeros into a state of their own.
    uint8_t idleStates[MaxLaneCount][64] = {};
    static const uint8_t IdleBlock[64] = {};
    bool jobsLeft = true;
    for (;;) {
        uint8_t* states[MaxLaneCount];
        const uint8_t* blocks[MaxLaneCount];
        Lane* busy[MaxLaneCount];
        int active = 0;
        for (int n = 0; n < LaneCount; n++) {
            if (lanes[n].phase == LaneEmpty && !jobsLeft) continue;
            const uint8_t* block = NextBlock(&lanes[n], source);
            if (!block) {
                jobsLeft = false;
                continue;
            }
            states[active] = lanes[n].job->digest;
            blocks[active] = block;
            busy[active++] = &lanes[n];
        }
        if (active == 0) break;
        if (active == 1) {
            CompressBlock(states[0], blocks[0]);
        } else {
            for (int n = active; n < LaneCount; n++) {
                states[n] = idleStates[n];
                blocks[n] = IdleBlock;
            }
            CompressLanes(states, blocks);
        }
        for (int n = 0; n < active; n++) AfterBlock(busy[n], source);
    }
    std::free(buffers);
}

void HashFilesAsTaken(TakeHashJob take, HashJobDone done, void* context, GateHandle pauseGate,
                      std::atomic<uint64_t>* bytesDone) {
    LaneSource source = {take, done, context, pauseGate, bytesDone};
    if (LaneCount > 1) {
        HashInLanes(source);
    } else {
        HashOneByOne(source);
    }
}

struct JobArray {
    FileHashJob* jobs;
    int count;
    int taken;
};

static FileHashJob* TakeFromArray(void* context) {
    JobArray* array = static_cast<JobArray*>(context);
    return array->taken < array->count ? &array->jobs[array->taken++] : nullptr;
}

static void LeaveInArray(void*, FileHashJob*) {}

void HashFilesInterleaved(FileHashJob* jobs, int count, GateHandle pauseGate, std::atomic<uint64_t>* bytesDone) {
    JobArray array = {jobs, count, 0};
    HashFilesAsTaken(TakeFromArray, LeaveInArray, &array, pauseGate, bytesDone);
}
