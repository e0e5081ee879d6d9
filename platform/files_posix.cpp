// Files and folders on POSIX: the walk's descriptor-relative opens, reads,
// listings, and the way back to a listed file below its target.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef SYS_openat2
#include <linux/openat2.h>
#endif

#include "platform/platform.h"
#include "platform/reachable_path_posix.h"

const int MaxEntryNameLength = 1 << 30;

static void FillSnapshot(const struct stat& st, FileSnapshot* snapshot) {
    snapshot->identity.volume = static_cast<uint64_t>(st.st_dev);
    snapshot->identity.index = static_cast<uint64_t>(st.st_ino);
    snapshot->size = st.st_size;
    snapshot->stamp.value[0] = st.st_mtim.tv_sec;
    snapshot->stamp.value[1] = st.st_mtim.tv_nsec;
    snapshot->change.value[0] = st.st_ctim.tv_sec;
    snapshot->change.value[1] = st.st_ctim.tv_nsec;
}

static void FillIdentity(const struct stat& st, FileIdentity* identity) {
    identity->volume = static_cast<uint64_t>(st.st_dev);
    identity->index = static_cast<uint64_t>(st.st_ino);
}

// Closes fd and leaves error in errno; returns NoFile.
static FileHandle FailWith(int fd, int error) {
    if (fd >= 0) close(fd);
    errno = error;
    return NoFile;
}

// A link met where none is followed fails the open with ELOOP; a socket, or
// a device without its driver, with ENXIO.
static int ReasonOfFailedOpen(int error) {
    return error == ELOOP ? ErrorIsLink : error == ENXIO ? ErrorNotRegularFile : error;
}

// fd, opened without blocking, made a regular file for reading: its snapshot
// taken, blocking reads again, read-ahead advised for more than one piece.
static FileHandle KeepRegularFile(int fd, FileSnapshot* snapshot) {
    struct stat st;
    if (fstat(fd, &st) != 0) return FailWith(fd, errno);
    if (!S_ISREG(st.st_mode)) {
        return FailWith(fd, S_ISDIR(st.st_mode) ? EISDIR : S_ISLNK(st.st_mode) ? ErrorIsLink : ErrorNotRegularFile);
    }
    if (snapshot) FillSnapshot(st, snapshot);
    // The file flags are known: none but O_NONBLOCK.
    fcntl(fd, F_SETFL, 0);
    if (st.st_size > 65536) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

// O_NONBLOCK: a FIFO must not hang the run; only regular files are read.
const int ReadingFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

FileHandle OpenFileForReading(const PathChar* path, FileSnapshot* snapshot) {
    char buffer[ReachablePathUnits];
    const char* reachable = ReachablePath(path, buffer);
    if (!reachable) return NoFile;
    int fd = open(reachable, ReadingFlags);
    if (fd < 0) return FailWith(-1, ReasonOfFailedOpen(errno));
    return KeepRegularFile(fd, snapshot);
}

FileHandle OpenFileForReading(const EntryPlace& place, FileSnapshot* snapshot) {
    if (place.folder == NoFile) return OpenFileForReading(place.path, snapshot);
    int fd = openat(static_cast<int>(place.folder), place.name, ReadingFlags | O_NOFOLLOW);
    if (fd < 0) return FailWith(-1, ReasonOfFailedOpen(errno));
    return KeepRegularFile(fd, snapshot);
}

FileHandle OpenFileForStreams(const EntryPlace& place) {
    int folder = place.folder == NoFile ? AT_FDCWD : static_cast<int>(place.folder);
    int follow = place.folder == NoFile ? 0 : O_NOFOLLOW;
    char buffer[ReachablePathUnits];
    const char* name = place.name;
    if (place.folder == NoFile) {
        name = ReachablePath(place.path, buffer);
        if (!name) return NoFile;
    }
    int fd = openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | follow);
    // A file that may not be read (denied, leased) still has streams to list
    // or remove: a path-only descriptor reaches them.
    if (fd < 0 && errno != ENOENT && errno != ELOOP && errno != ENOTDIR && errno != EISDIR) {
        fd = openat(folder, name, O_PATH | O_CLOEXEC | follow);
    }
    if (fd < 0) return FailWith(-1, ReasonOfFailedOpen(errno));
    struct stat st;
    if (fstat(fd, &st) != 0) return FailWith(fd, errno);
    if (!S_ISREG(st.st_mode)) {
        return FailWith(fd, S_ISDIR(st.st_mode) ? EISDIR : S_ISLNK(st.st_mode) ? ErrorIsLink : ErrorNotRegularFile);
    }
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
    // A read may deliver less than asked without being at the end (FUSE with
    // direct_io, network file systems, a signal): read on until it says 0.
    uint32_t done = 0;
    while (done < size) {
        ssize_t got = read(static_cast<int>(file), static_cast<char*>(buffer) + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

void CloseFile(FileHandle file) {
    if (file != NoFile) close(static_cast<int>(file));
}

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

static FileHandle KeepFolder(int fd, FileIdentity* identity) {
    struct stat st;
    if (fstat(fd, &st) != 0) return FailWith(fd, errno);
    FillIdentity(st, identity);
    return fd;
}

FileHandle OpenFolder(const EntryPlace& place, FileIdentity* identity) {
    int fd;
    if (place.folder == NoFile) {
        char buffer[ReachablePathUnits];
        const char* reachable = ReachablePath(place.path, buffer);
        if (!reachable) return NoFile;
        fd = open(reachable, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        fd = openat(static_cast<int>(place.folder), place.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) return FailWith(-1, errno == ENOTDIR || errno == ENXIO ? ErrorNotFolder : ReasonOfFailedOpen(errno));
    return KeepFolder(fd, identity);
}

FileHandle OpenParentFolder(FileHandle child, FileIdentity* identity) {
    int fd = openat(static_cast<int>(child), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return NoFile;
    return KeepFolder(fd, identity);
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

bool ListDirectory(FileHandle folder, PathChar*, int, DirectoryListing* listing) {
    listing->names.clear();
    listing->entries.clear();
    // The stream reads from its own descriptor: folder stays open for the
    // opens of the entries after the listing.
    int fd = fcntl(static_cast<int>(folder), F_DUPFD_CLOEXEC, 0);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir) {
        FailWith(fd, errno);
        return false;
    }
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

bool OpenTargetRoot(const PathChar* path, const FileIdentity& walked, TargetRoot* root) {
    char buffer[ReachablePathUnits];
    const char* reachable = ReachablePath(path, buffer);
    root->handle = reachable ? open(reachable, O_PATH | O_CLOEXEC) : NoFile;
    if (root->handle == NoFile) return false;
    struct stat st;
    if (fstat(static_cast<int>(root->handle), &st) != 0) {
        root->handle = FailWith(static_cast<int>(root->handle), errno);
        return false;
    }
    FillIdentity(st, &root->identity);
    if (root->identity.volume != walked.volume || root->identity.index != walked.index) {
        root->handle = FailWith(static_cast<int>(root->handle), ErrorTargetMoved);
        return false;
    }
    return true;
}

void CloseTargetRoot(TargetRoot* root) {
    CloseFile(root->handle);
    root->handle = NoFile;
}

// relative below folder, one name at a time, no link followed; the last name
// opened with flags. The kernel's own resolution is tried first where it has it.
static int OpenBeneath(int folder, const char* relative, int flags) {
#ifdef SYS_openat2
    struct open_how how;
    std::memset(&how, 0, sizeof how);
    how.flags = static_cast<uint64_t>(flags | O_NOFOLLOW);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
    long opened = syscall(SYS_openat2, folder, relative, &how, sizeof how);
    if (opened >= 0) return static_cast<int>(opened);
    // Unknown to an older kernel, or longer than one call takes.
    if (errno != ENOSYS && errno != ENAMETOOLONG && errno != E2BIG) return -1;
#endif
    int at = folder;
    const char* name = relative;
    for (;;) {
        const char* slash = std::strchr(name, '/');
        if (!slash) break;
        std::string piece(name, static_cast<size_t>(slash - name));
        int next = openat(at, piece.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int error = errno;
        struct stat st;
        if (next < 0 && error == ENOTDIR && fstatat(at, piece.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode)) {
            error = ELOOP;
        }
        if (at != folder) close(at);
        if (next < 0) {
            errno = error;
            return -1;
        }
        at = next;
        name = slash + 1;
    }
    int fd = openat(at, name, flags | O_NOFOLLOW);
    int error = errno;
    if (at != folder) close(at);
    errno = error;
    return fd;
}

FileHandle OpenFileBelowRoot(const TargetRoot& root, const PathChar* path, int relativeAt, FileSnapshot* snapshot) {
    const char* relative = path + relativeAt;
    while (*relative == '/') ++relative;
    int fd;
    if (*relative == 0) {
        // The target is the file itself: the very one opened as the root.
        char proc[40];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", static_cast<int>(root.handle));
        fd = open(proc, ReadingFlags);
    } else {
        fd = OpenBeneath(static_cast<int>(root.handle), relative, ReadingFlags);
        // Beneath the root the kernel names a link met (or a way out) ELOOP or EXDEV.
        if (fd < 0 && errno == EXDEV) errno = ELOOP;
    }
    if (fd < 0) return FailWith(-1, ReasonOfFailedOpen(errno));
    return KeepRegularFile(fd, snapshot);
}

bool RewindFile(FileHandle file) { return lseek(static_cast<int>(file), 0, SEEK_SET) == 0; }

// The descriptors the process may have, raised first to the most it is allowed.
static int DescriptorLimit() {
    static const int limit = [] {
        struct rlimit nofile;
        if (getrlimit(RLIMIT_NOFILE, &nofile) != 0) return 256;
        if (nofile.rlim_cur < nofile.rlim_max) {
            nofile.rlim_cur = nofile.rlim_max;
            setrlimit(RLIMIT_NOFILE, &nofile);
            getrlimit(RLIMIT_NOFILE, &nofile);
        }
        return nofile.rlim_cur > 0x7fffffff ? 0x7fffffff : static_cast<int>(nofile.rlim_cur);
    }();
    return limit;
}

int OpenFolderLimit() {
    int limit = DescriptorLimit() / 4;
    return limit < 4 ? 4 : limit > 64 ? 64 : limit;
}

int OpenFileRoom() {
    // Room for the standard channels, a few more and the folders of a walk.
    int room = DescriptorLimit() - 16 - OpenFolderLimit();
    return room < 4 ? 4 : room;
}

bool PathNamesFile(const PathChar* path, const FileIdentity& identity) {
    char buffer[ReachablePathUnits];
    const char* reachable = ReachablePath(path, buffer);
    struct stat st;
    if (!reachable || stat(reachable, &st) != 0) return false;
    return static_cast<uint64_t>(st.st_dev) == identity.volume && static_cast<uint64_t>(st.st_ino) == identity.index;
}

FileFacts FactsOf(const FileSnapshot& snapshot) {
    FileFacts facts;
    facts.size = static_cast<uint64_t>(snapshot.size);
    // Nanoseconds reach from 1677 to 2262; times beyond hold the nearest end
    // (FileTimeOutOfRange), so that their order stays right.
    int64_t seconds = snapshot.stamp.value[0];
    const int64_t limit = INT64_MAX / 1000000000LL - 1;
    facts.time = seconds > limit    ? INT64_MAX
                 : seconds < -limit ? INT64_MIN
                                    : seconds * 1000000000LL + snapshot.stamp.value[1];
    facts.unit = TimeUnitPosix;
    return facts;
}
