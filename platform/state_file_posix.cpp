#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/state_file.h"

PathString StateFolderPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // The XDG rule: a relative value is to be ignored.
    if (state && state[0] == '/') return PathString(state) + "/quorvane";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return PathString(home) + "/.local/state/quorvane";
    return PathString();
}

bool MakeStateFolder(const PathString& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        PathString part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileHandle OpenStateFile(const PathString& path, bool create, bool* writable) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
    *writable = fd >= 0;
    if (fd < 0 && errno != ENOENT) {
        int error = errno;
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) errno = error;
    }
    return fd;
}

bool LockStateFile(FileHandle file, bool wait) {
    int fd = static_cast<int>(file);
    for (;;) {
        if (flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) return true;
        if (errno != EINTR) return false;
    }
}

int ReadStateAt(FileHandle file, uint64_t offset, void* bytes, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = pread(static_cast<int>(file), static_cast<char*>(bytes) + done, size - done,
                          static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    return static_cast<int>(done);
}

bool WriteStateAt(FileHandle file, uint64_t offset, const void* bytes, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(static_cast<int>(file), static_cast<const char*>(bytes) + done, size - done,
                           static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<uint32_t>(n);
    }
    return true;
}

bool FlushStateFile(FileHandle file) { return fdatasync(static_cast<int>(file)) == 0; }

bool SetStateFileSize(FileHandle file, uint64_t size) {
    return ftruncate(static_cast<int>(file), static_cast<off_t>(size)) == 0;
}

bool ReplaceStateFile(const PathString& from, const PathString& to) {
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    // The folder's entry too, so that a power cut finds one file or the other.
    PathString folder = to.substr(0, to.rfind('/') + 1);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
}

void DeleteStateFile(const PathString& path) { unlink(path.c_str()); }

uint8_t* MapStateFile(FileHandle file, uint64_t size, bool writable) {
    void* view = mmap(nullptr, static_cast<size_t>(size), PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED,
                      static_cast<int>(file), 0);
    return view == MAP_FAILED ? nullptr : static_cast<uint8_t*>(view);
}

bool FlushStateView(uint8_t* view, uint64_t size) { return msync(view, static_cast<size_t>(size), MS_SYNC) == 0; }

void UnmapStateFile(uint8_t* view, uint64_t size) { munmap(view, static_cast<size_t>(size)); }
