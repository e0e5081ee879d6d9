#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/reachable_path_posix.h"

const PathChar LongPathPrefix[] = "";
const int LongPathPrefixLength = 0;
const PathChar PathSeparator = '/';
const int MaxEntryNameLength = 1 << 30;

int LastPlatformError() { return errno; }
void ClearPlatformError() { errno = 0; }

// The folder of the last long path, kept open: a walk asks for many names in
// one folder, and a descent starts from where the last one ended.
static thread_local int LongFolder = -1;
static thread_local std::string LongFolderPath;  // ends in '/'

// Opens the folder of the first length bytes of path (ending in '/') from
// start, in pieces the system takes; links on the way are followed, as a
// plain path's would be.
static int OpenFolderInPieces(int start, const char* path, size_t length) {
    int fd = start;
    size_t at = 0;
    while (at < length) {
        size_t end = length;
        if (end - at >= static_cast<size_t>(PATH_MAX)) {
            end = at + PATH_MAX - 1;
            while (end > at && path[end - 1] != '/') --end;
            if (end == at) {
                errno = ENAMETOOLONG;
                if (fd != start) close(fd);
                return -1;
            }
        }
        std::string piece(path + at, end - at);
        int next = openat(fd, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        int saved = errno;
        if (fd != start) close(fd);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        fd = next;
        at = end;
    }
    return fd == start ? openat(start, ".", O_PATH | O_DIRECTORY | O_CLOEXEC) : fd;
}

const char* ReachablePath(const char* path, char* buffer) {
    size_t length = std::strlen(path);
    if (length < static_cast<size_t>(PATH_MAX)) return path;
    size_t folderLength = length;
    while (folderLength > 0 && path[folderLength - 1] != '/') --folderLength;
    const char* name = path + folderLength;
    if (std::strlen(name) + 40 >= static_cast<size_t>(ReachablePathUnits)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    if (LongFolder < 0 || LongFolderPath.size() != folderLength ||
        LongFolderPath.compare(0, folderLength, path, folderLength) != 0) {
        int fd;
        if (LongFolder >= 0 && folderLength > LongFolderPath.size() &&
            LongFolderPath.compare(0, LongFolderPath.size(), path, LongFolderPath.size()) == 0) {
            // Deeper below the folder kept open: only the rest is opened.
            size_t kept = LongFolderPath.size();
            fd = OpenFolderInPieces(LongFolder, path + kept, folderLength - kept);
        } else if (path[0] == '/') {
            int root = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (root < 0) return nullptr;
            fd = OpenFolderInPieces(root, path + 1, folderLength - 1);
            if (fd != root) close(root);
        } else {
            fd = OpenFolderInPieces(AT_FDCWD, path, folderLength);
        }
        if (fd < 0) return nullptr;
        if (LongFolder >= 0) close(LongFolder);
        LongFolder = fd;
        LongFolderPath.assign(path, folderLength);
    }
    std::snprintf(buffer, ReachablePathUnits, "/proc/self/fd/%d/%s", LongFolder, name);
    return buffer;
}

static void FillSnapshot(const struct stat& st, FileSnapshot* snapshot) {
    snapshot->identity.volume = static_cast<uint64_t>(st.st_dev);
    snapshot->identity.index = static_cast<uint64_t>(st.st_ino);
    snapshot->size = st.st_size;
    snapshot->stamp.value[0] = st.st_mtim.tv_sec;
    snapshot->stamp.value[1] = st.st_mtim.tv_nsec;
    snapshot->change.value[0] = st.st_ctim.tv_sec;
    snapshot->change.value[1] = st.st_ctim.tv_nsec;
}

FileHandle OpenFileForReading(const PathChar* path, FileSnapshot* snapshot) {
    char buffer[ReachablePathUnits];
    const char* reachable = ReachablePath(path, buffer);
    if (!reachable) return NoFile;
    // O_NONBLOCK: a FIFO must not hang the run; only regular files are read.
    int fd = open(reachable, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return NoFile;
    struct stat st;
    bool known = fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        int error = !known ? errno : S_ISDIR(st.st_mode) ? EISDIR : ErrorNotRegularFile;
        close(fd);
        errno = error;
        return NoFile;
    }
    if (snapshot) FillSnapshot(st, snapshot);
    // Blocking reads again (the file flags are known: none but O_NONBLOCK).
    fcntl(fd, F_SETFL, 0);
    // A file read in one piece gains nothing from read-ahead advice.
    if (st.st_size > 65536) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

bool TakeFileSnapshot(FileHandle file, FileSnapshot* snapshot) {
    struct stat st;
    if (fstat(static_cast<int>(file), &st) != 0) return false;
    FillSnapshot(st, snapshot);
    return true;
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

static bool StatPath(const PathChar* path, struct stat* st) {
    char buffer[ReachablePathUnits];
    const char* reachable = ReachablePath(path, buffer);
    return reachable && stat(reachable, st) == 0;
}

PathKind QueryPathKind(const PathChar* path) {
    struct stat st;
    if (!StatPath(path, &st)) return PathMissing;
    if (S_ISDIR(st.st_mode)) return PathDirectory;
    if (S_ISREG(st.st_mode)) return PathFile;
    return PathOther;
}

bool QueryFileSize(const PathChar* path, uint64_t* size) {
    struct stat st;
    if (!StatPath(path, &st)) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

static void AddEntry(DirectoryListing* listing, const char* name, EntryKind kind, int error) {
    DirectoryEntry entry;
    entry.nameAt = static_cast<int>(listing->names.size());
    entry.length = static_cast<int>(std::strlen(name));
    entry.kind = kind;
    entry.error = error;
    listing->names.append(name, static_cast<size_t>(entry.length) + 1);
    listing->entries.push_back(entry);
}

bool ListDirectory(PathChar* path, int length, DirectoryListing* listing) {
    (void)length;
    listing->names.clear();
    listing->entries.clear();
    char buffer[ReachablePathUnits];
    const char* reachable = ReachablePath(path, buffer);
    if (!reachable) return false;
    int fd = open(reachable, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    DIR* dir = fstat(fd, &st) == 0 ? fdopendir(fd) : nullptr;
    if (!dir) {
        int error = errno;
        close(fd);
        errno = error;
        return false;
    }
    listing->identity.volume = static_cast<uint64_t>(st.st_dev);
    listing->identity.index = static_cast<uint64_t>(st.st_ino);
    for (;;) {
        errno = 0;
        struct dirent* d = readdir(dir);
        if (!d) break;
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        unsigned char type = d->d_type;
        if (type == DT_UNKNOWN) {
            // Some file systems leave the type to a stat; a link stays a link.
            // An entry that cannot be looked at is no entry to pass over.
            struct stat entry;
            if (fstatat(dirfd(dir), name, &entry, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) AddEntry(listing, name, EntryUnknown, errno);
                continue;
            }
            type = S_ISDIR(entry.st_mode) ? DT_DIR : S_ISREG(entry.st_mode) ? DT_REG : DT_LNK;
        }
        AddEntry(listing, name, type == DT_DIR ? EntryDirectory : type == DT_REG ? EntryFile : EntryOther, 0);
    }
    int error = errno;
    closedir(dir);
    errno = error;
    // A listing cut short by an error is no listing: its folder is reported.
    return error == 0;
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

int ProcessorCount() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) return CPU_COUNT(&allowed);
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}
