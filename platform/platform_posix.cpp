#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

const PathChar LongPathPrefix[] = "";
const int LongPathPrefixLength = 0;
const PathChar PathSeparator = '/';

FileHandle OpenFileForReading(const PathChar* path) {
    // O_NONBLOCK: a FIFO must not hang the run; only regular files are read.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return NoFile;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return NoFile;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

int64_t FileSizeOf(FileHandle file) {
    struct stat st;
    if (fstat(static_cast<int>(file), &st) != 0) return 0;
    return st.st_size;
}

uint32_t ReadFileChunk(FileHandle file, void* buffer, uint32_t size) {
    ssize_t got;
    do {
        got = read(static_cast<int>(file), buffer, size);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? 0 : static_cast<uint32_t>(got);
}

void CloseFile(FileHandle file) { close(static_cast<int>(file)); }

void GetWriteStamp(FileHandle file, WriteStamp* stamp) {
    struct stat st;
    if (fstat(static_cast<int>(file), &st) != 0) {
        stamp->value[0] = stamp->value[1] = -1;
        return;
    }
    stamp->value[0] = st.st_mtim.tv_sec;
    stamp->value[1] = st.st_mtim.tv_nsec;
}

PathKind QueryPathKind(const PathChar* path) {
    struct stat st;
    if (stat(path, &st) != 0) return PathMissing;
    if (S_ISDIR(st.st_mode)) return PathDirectory;
    if (S_ISREG(st.st_mode)) return PathFile;
    return PathOther;
}

bool QueryFileSize(const PathChar* path, uint64_t* size) {
    struct stat st;
    if (stat(path, &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool QueryDirectoryIdentity(const PathChar* path, FileIdentity* identity) {
    struct stat st;
    if (stat(path, &st) != 0) return false;
    identity->volume = static_cast<uint64_t>(st.st_dev);
    identity->index = static_cast<uint64_t>(st.st_ino);
    return true;
}

struct DirectoryRecord {
    DIR* dir;
};

DirectoryHandle OpenDirectory(PathChar* path, int length) {
    (void)length;
    DIR* dir = opendir(path);
    if (!dir) return nullptr;
    DirectoryRecord* record = static_cast<DirectoryRecord*>(std::malloc(sizeof(DirectoryRecord)));
    if (!record) {
        closedir(dir);
        return nullptr;
    }
    record->dir = dir;
    return record;
}

bool NextDirectoryEntry(DirectoryHandle directory, DirectoryEntry* entry) {
    DIR* dir = static_cast<DirectoryRecord*>(directory)->dir;
    for (;;) {
        struct dirent* d = readdir(dir);
        if (!d) return false;
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        EntryKind kind = EntryOther;
        if (d->d_type == DT_DIR) {
            kind = EntryDirectory;
        } else if (d->d_type == DT_REG) {
            kind = EntryFile;
        } else if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
            // Links are followed: a link to a folder is walked, to a file is read.
            struct stat st;
            if (fstatat(dirfd(dir), name, &st, 0) == 0) {
                if (S_ISDIR(st.st_mode)) kind = EntryDirectory;
                else if (S_ISREG(st.st_mode)) kind = EntryFile;
            }
        }
        entry->name = name;
        entry->length = static_cast<int>(std::strlen(name));
        entry->kind = kind;
        return true;
    }
}

void CloseDirectory(DirectoryHandle directory) {
    DirectoryRecord* record = static_cast<DirectoryRecord*>(directory);
    closedir(record->dir);
    std::free(record);
}

struct GateRecord {
    pthread_mutex_t mutex;
    pthread_cond_t signal;
    bool manualReset;
    bool signalled;
};

GateHandle CreateGate(bool manualReset, bool signalled) {
    GateRecord* gate = static_cast<GateRecord*>(std::malloc(sizeof(GateRecord)));
    if (!gate) return nullptr;
    pthread_mutex_init(&gate->mutex, nullptr);
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&gate->signal, &attributes);
    pthread_condattr_destroy(&attributes);
    gate->manualReset = manualReset;
    gate->signalled = signalled;
    return gate;
}

void SetGate(GateHandle handle) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
    pthread_mutex_lock(&gate->mutex);
    gate->signalled = true;
    pthread_cond_broadcast(&gate->signal);
    pthread_mutex_unlock(&gate->mutex);
}

void ResetGate(GateHandle handle) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
    pthread_mutex_lock(&gate->mutex);
    gate->signalled = false;
    pthread_mutex_unlock(&gate->mutex);
}

void WaitGate(GateHandle handle) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
    pthread_mutex_lock(&gate->mutex);
    while (!gate->signalled) pthread_cond_wait(&gate->signal, &gate->mutex);
    if (!gate->manualReset) gate->signalled = false;
    pthread_mutex_unlock(&gate->mutex);
}

bool WaitGateFor(GateHandle handle, uint32_t milliseconds) {
    GateRecord* gate = static_cast<GateRecord*>(handle);
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
    return nullptr;
}

bool StartWorker(WorkerEntry entry, void* parameter) {
    WorkerStart* start = static_cast<WorkerStart*>(std::malloc(sizeof(WorkerStart)));
    if (!start) return false;
    start->entry = entry;
    start->parameter = parameter;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int failed = pthread_create(&thread, &attributes, RunWorker, start);
    pthread_attr_destroy(&attributes);
    if (failed) std::free(start);
    return failed == 0;
}

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
