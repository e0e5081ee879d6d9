#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/reachable_path_posix.h"

const PathChar LongPathPrefix[] = "";
const int LongPathPrefixLength = 0;
const PathChar PathSeparator = '/';

int LastPlatformError() { return errno; }
void ClearPlatformError() { errno = 0; }
PathString PlatformErrorText(int error) { return std::strerror(error); }

struct GateRecord {
    pthread_mutex_t mutex;
    pthread_cond_t signal;
    bool manualReset;
    bool signalled;
};

GateHandle CreateGate(bool manualReset, bool signalled) {
    GateRecord* gate = static_cast<GateRecord*>(std::malloc(sizeof(GateRecord)));
    if (!gate) return nullptr;
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) {
        std::free(gate);
        return nullptr;
    }
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    bool made = pthread_cond_init(&gate->signal, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (made && pthread_mutex_init(&gate->mutex, nullptr) != 0) {
        pthread_cond_destroy(&gate->signal);
        made = false;
    }
    if (!made) {
        std::free(gate);
        return nullptr;
    }
    gate->manualReset = manualReset;
    gate->signalled = signalled;
    return gate;
}

// A gate that could not be created holds no one, as a null event does on
// Windows: setting and resetting it do nothing, a wait on it returns at once.

void SetGate(GateHandle handle) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
    if (!gate) return;
    pthread_mutex_lock(&gate->mutex);
    gate->signalled = true;
    pthread_cond_broadcast(&gate->signal);
    pthread_mutex_unlock(&gate->mutex);
}

void ResetGate(GateHandle handle) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
    if (!gate) return;
    pthread_mutex_lock(&gate->mutex);
    gate->signalled = false;
    pthread_mutex_unlock(&gate->mutex);
}

void WaitGate(GateHandle handle) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
    if (!gate) return;
    pthread_mutex_lock(&gate->mutex);
    while (!gate->signalled) pthread_cond_wait(&gate->signal, &gate->mutex);
    if (!gate->manualReset) gate->signalled = false;
    pthread_mutex_unlock(&gate->mutex);
}

bool WaitGateFor(GateHandle handle, uint32_t milliseconds) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
    // Not signalled, since it never will be (WAIT_FAILED on Windows).
    if (!gate) return false;
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += milliseconds / 1000;
    until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&gate->mutex);
    while (!gate->signalled) {
        if (pthread_cond_timedwait(&gate->signal, &gate->mutex, &until) == ETIMEDOUT) break;
    }
    bool signalled = gate->signalled;
    if (signalled && !gate->manualReset) gate->signalled = false;
    pthread_mutex_unlock(&gate->mutex);
    return signalled;
}

uint64_t SystemTimeNow() {
    // Seconds from 1601-01-01 to 1970-01-01.
    const uint64_t epochDifference = 11644473600ULL;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<uint64_t>(now.tv_sec) + epochDifference) * 10000000ULL +
           static_cast<uint64_t>(now.tv_nsec) / 100;
}

void SleepMilliseconds(uint32_t milliseconds) {
    struct timespec pause = {static_cast<time_t>(milliseconds / 1000),
                             static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

struct WorkerStart {
    WorkerEntry entry;
    void* parameter;
};

static void* RunWorker(void* start) {
    WorkerStart begin = *static_cast<WorkerStart*>(start);
    std::free(start);
    begin.entry(begin.parameter);
    ReleaseReachablePath();
    return nullptr;
}

bool StartWorker(WorkerEntry entry, void* parameter, WorkerThread* thread) {
    WorkerStart* start = static_cast<WorkerStart*>(std::malloc(sizeof(WorkerStart)));
    if (!start) return false;
    start->entry = entry;
    start->parameter = parameter;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (!thread) pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t started;
    int failed = pthread_create(&started, &attributes, RunWorker, start);
    pthread_attr_destroy(&attributes);
    if (failed) std::free(start);
    else if (thread) *thread = static_cast<WorkerThread>(started);
    return failed == 0;
}

void AwaitWorker(WorkerThread thread) { pthread_join(static_cast<pthread_t>(thread), nullptr); }

void SplitTargetText(const PathChar* text, std::vector<PathString>* args) {
    // What the target field holds: blanks separate, a double quote opens or
    // closes a stretch in which blanks belong to the path, quotes themselves
    // are dropped. Backslashes are ordinary characters.
    args->clear();
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == 0) return;
        PathString arg;
        bool quoted = false;
        for (; *p != 0; ++p) {
            if (*p == '"') {
                quoted = !quoted;
            } else if ((*p == ' ' || *p == '\t') && !quoted) {
                break;
            } else {
                arg.push_back(*p);
            }
        }
        args->push_back(arg);
    }
}

PathString MakeAbsolutePath(const PathString& path) {
    if (path.empty() || path[0] == '/') return path;
    PathString absolute;
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) return path;
    absolute = cwd;
    std::free(cwd);
    if (absolute.empty() || absolute.back() != '/') absolute.push_back('/');
    absolute += path;
    // "." segments go, so that "." shows as the folder itself; ".." stays,
    // since after a link it need not lead back where it came from.
    size_t at;
    while ((at = absolute.find("/./")) != PathString::npos) absolute.erase(at, 2);
    if (absolute.size() > 2 && absolute.compare(absolute.size() - 2, 2, "/.") == 0) {
        absolute.resize(absolute.size() - 1);
    }
    return absolute;
}

int ProcessorCount() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) return CPU_COUNT(&allowed);
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

SeekPenalty QuerySeekPenalty(const PathChar*) { return SeekPenaltyUnknown; }
