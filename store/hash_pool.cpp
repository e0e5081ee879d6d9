#include "store/hash_pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "engine/whirlpool.h"

struct PooledFile {
    PathString path;  // terminated at its length
    int textAt;
    FileWork work;
    bool done;
    bool keyed;  // counted in HashPool.opened, under key
    uint64_t key;
};

struct HashPoolRecord {
    std::mutex lock;
    std::condition_variable workReady;  // the hashing threads wait here
    std::condition_variable fileDone;   // the run's thread waits here
    // The files under way in the order handed over; a deque keeps the address
    // of every element while others are added at the back or taken off the
    // front, so a hashing thread works on its file outside the lock.
    std::deque<PooledFile> window;
    size_t claimed;  // files at the front of window that a thread has taken
    bool closing;
    int running;     // hashing threads that have not yet ended
    std::vector<WorkerThread> threads;
    size_t limit;    // files under way at most
    PoolPrepare prepare;
    PoolFinish finish;
    PoolCommit commit;
    // The opened files under way, by identity: a file met again (a hard link,
    // a target named twice) waits until its first outcome is committed, as
    // with one thread. Only the run's thread touches it.
    std::unordered_multiset<uint64_t> opened;
};

static HashPoolRecord HashPool;

// Two files alike here are taken for one; a rare false match only waits.
static uint64_t IdentityKey(const FileWork& work) {
    return work.before.identity.index * 0x9E3779B97F4A7C15ull ^ work.before.identity.volume;
}

static void HashJob(FileHashJob* job) {
    ClearPlatformError();
    job->bytesRead =
        HashFile(job->file, job->ExpectedSize, OperationState.PauseGate, &OperationState.BytesDone, job->digest);
    job->readError = LastPlatformError();
}

void WorkOnFile(FileWork* work, PoolPrepare prepare, PoolFinish finish) {
    if (!prepare(work)) return;
    HashJob(&work->job);
    finish(work);
}

static void MarkDone(PooledFile* file) {
    std::lock_guard<std::mutex> hold(HashPool.lock);
    file->done = true;
    HashPool.fileDone.notify_one();
}

// The next file nobody has taken, without waiting; null when there is none.
static PooledFile* ClaimFile() {
    std::lock_guard<std::mutex> hold(HashPool.lock);
    if (HashPool.claimed == HashPool.window.size()) return nullptr;
    return &HashPool.window[HashPool.claimed++];
}

// The files of one thread's lanes, to find each again when its hash is done.
struct LaneFiles {
    PooledFile* files[MaxLaneCount];
};

// The next file to hash in a lane: files that need no hashing are done on
// the way. Never waits, so that the other lanes go on.
static FileHashJob* TakeForLane(void* context) {
    LaneFiles* lanes = static_cast<LaneFiles*>(context);
    for (;;) {
        PooledFile* file = ClaimFile();
        if (!file) return nullptr;
        if (!HashPool.prepare(&file->work)) {
            MarkDone(file);
            continue;
        }
        for (PooledFile*& slot : lanes->files) {
            if (!slot) {
                slot = file;
                break;
            }
        }
        return &file->work.job;
    }
}

static void FinishFromLane(void* context, FileHashJob* job) {
    LaneFiles* lanes = static_cast<LaneFiles*>(context);
    for (PooledFile*& slot : lanes->files) {
        if (slot && &slot->work.job == job) {
            PooledFile* file = slot;
            slot = nullptr;
            HashPool.finish(&file->work);
            MarkDone(file);
            return;
        }
    }
}

static unsigned HashPoolThread(void*) {
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(HashPool.lock);
            HashPool.workReady.wait(hold,
                                    [] { return HashPool.closing || HashPool.claimed < HashPool.window.size(); });
            if (HashPool.claimed == HashPool.window.size()) break;
        }
        if (LaneCount > 1) {
            // Until no file waits: lanes that empty take the next one.
            LaneFiles lanes = {};
            HashFilesAsTaken(TakeForLane, FinishFromLane, &lanes, OperationState.PauseGate, &OperationState.BytesDone);
            continue;
        }
        PooledFile* file = ClaimFile();
        if (!file) continue;
        WorkOnFile(&file->work, HashPool.prepare, HashPool.finish);
        MarkDone(file);
    }
    std::lock_guard<std::mutex> hold(HashPool.lock);
    --HashPool.running;
    HashPool.fileDone.notify_one();
    return 0;
}

void StartHashPool(int threads, PoolPrepare prepare, PoolFinish finish, PoolCommit commit) {
    HashPool.window.clear();
    HashPool.claimed = 0;
    HashPool.closing = false;
    HashPool.running = 0;
    int room = OpenFileRoom();
    HashPool.limit = static_cast<size_t>(room < HashPoolWindow ? room : HashPoolWindow);
    HashPool.prepare = prepare;
    HashPool.finish = finish;
    HashPool.commit = commit;
    HashPool.opened.clear();
    // As many as the system gives; with none the run's thread hashes itself.
    HashPool.threads.clear();
    for (int i = 0; i < threads; ++i) {
        std::lock_guard<std::mutex> hold(HashPool.lock);
        WorkerThread thread;
        if (!StartWorker(HashPoolThread, nullptr, &thread)) break;
        HashPool.threads.push_back(thread);
        ++HashPool.running;
    }
}

// Commits the finished files at the front until fewer than limit are under
// way and, given a key, no file of that key is.
static void CommitFinished(size_t limit, const uint64_t* key) {
    std::unique_lock<std::mutex> hold(HashPool.lock);
    for (;;) {
        while (!HashPool.window.empty() && HashPool.window.front().done) {
            PooledFile file = std::move(HashPool.window.front());
            HashPool.window.pop_front();
            HashPool.claimed--;
            hold.unlock();
            if (file.keyed) HashPool.opened.erase(HashPool.opened.find(file.key));
            file.work.path = file.path.c_str();
            HashPool.commit(&file.work, file.path.c_str() + file.textAt);
            hold.lock();
        }
        if (HashPool.window.size() < limit && (!key || HashPool.opened.count(*key) == 0)) return;
        HashPool.fileDone.wait(hold);
    }
}

void HandToHashPool(const PathChar* path, int length, int textAt, const FileWork& work) {
    uint64_t key = IdentityKey(work);
    bool waits = work.file != NoFile && HashPool.opened.count(key) != 0;
    CommitFinished(HashPool.limit, work.file != NoFile ? &key : nullptr);
    PooledFile file;
    file.path.assign(path, static_cast<size_t>(length < 0 ? 0 : length));
    file.textAt = textAt;
    file.work = work;
    // Opened while its first name may have been writing (Windows moves the
    // last-write time until the write puts it back): seen afresh, unread yet.
    if (waits) TakeFileSnapshot(file.work.file, &file.work.before);
    file.done = false;
    file.keyed = work.file != NoFile;
    file.key = key;
    std::unique_lock<std::mutex> hold(HashPool.lock);
    if (HashPool.running == 0) {
        hold.unlock();
        file.work.path = file.path.c_str();
        WorkOnFile(&file.work, HashPool.prepare, HashPool.finish);
        HashPool.commit(&file.work, file.path.c_str() + file.textAt);
        return;
    }
    if (file.keyed) HashPool.opened.insert(key);
    HashPool.window.push_back(std::move(file));
    // The string's text stays where it is in the deque from here on.
    PooledFile& placed = HashPool.window.back();
    placed.work.path = placed.path.c_str();
    hold.unlock();
    HashPool.workReady.notify_one();
}

void FinishHashPool() {
    CommitFinished(1, nullptr);
    std::unique_lock<std::mutex> hold(HashPool.lock);
    HashPool.closing = true;
    HashPool.workReady.notify_all();
    HashPool.fileDone.wait(hold, [] { return HashPool.running == 0; });
    hold.unlock();
    // Each thread still lets go of the lock on its way out.
    for (WorkerThread thread : HashPool.threads) AwaitWorker(thread);
    HashPool.threads.clear();
}
