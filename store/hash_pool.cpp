#include "store/hash_pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>

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
    size_t limit;    // files under way at most
    PoolWork work;
    PoolCommit commit;
};

static HashPoolRecord HashPool;

static unsigned HashPoolThread(void*) {
    std::unique_lock<std::mutex> hold(HashPool.lock);
    for (;;) {
        HashPool.workReady.wait(hold, [] { return HashPool.closing || HashPool.claimed < HashPool.window.size(); });
        if (HashPool.claimed == HashPool.window.size()) break;
        PooledFile* file = &HashPool.window[HashPool.claimed++];
        hold.unlock();
        HashPool.work(file);
        hold.lock();
        file->done = true;
        HashPool.fileDone.notify_one();
    }
    --HashPool.running;
    HashPool.fileDone.notify_one();
    return 0;
}

void StartHashPool(int threads, PoolWork work, PoolCommit commit) {
    HashPool.window.clear();
    HashPool.claimed = 0;
    HashPool.closing = false;
    HashPool.running = 0;
    int room = OpenFileRoom();
    HashPool.limit = static_cast<size_t>(room < HashPoolWindow ? room : HashPoolWindow);
    HashPool.work = work;
    HashPool.commit = commit;
    // As many as the system gives; with none the run's thread hashes itself.
    for (int i = 0; i < threads; ++i) {
        std::lock_guard<std::mutex> hold(HashPool.lock);
        if (!StartWorker(HashPoolThread, nullptr)) break;
        ++HashPool.running;
    }
}

// Commits the finished files at the front until fewer than limit are under way.
static void CommitFinished(size_t limit) {
    std::unique_lock<std::mutex> hold(HashPool.lock);
    for (;;) {
        while (!HashPool.window.empty() && HashPool.window.front().done) {
            PooledFile file = std::move(HashPool.window.front());
            HashPool.window.pop_front();
            HashPool.claimed--;
            hold.unlock();
            HashPool.commit(&file);
            hold.lock();
        }
        if (HashPool.window.size() < limit) return;
        HashPool.fileDone.wait(hold);
    }
}

void HandToHashPool(PooledFile* handed) {
    CommitFinished(HashPool.limit);
    handed->done = false;
    std::unique_lock<std::mutex> hold(HashPool.lock);
    if (HashPool.running == 0) {
        hold.unlock();
        HashPool.work(handed);
        HashPool.commit(handed);
        return;
    }
    HashPool.window.push_back(std::move(*handed));
    hold.unlock();
    HashPool.workReady.notify_one();
}

void FinishHashPool() {
    CommitFinished(1);
    std::unique_lock<std::mutex> hold(HashPool.lock);
    HashPool.closing = true;
    HashPool.workReady.notify_all();
    HashPool.fileDone.wait(hold, [] { return HashPool.running == 0; });
}
