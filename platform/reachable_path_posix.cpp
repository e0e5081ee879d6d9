// Paths longer than PATH_MAX, reached through an open descriptor of their
// folder that each thread keeps for the next name in the same place.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/reachable_path_posix.h"

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

void ReleaseReachablePath() {
    if (LongFolder >= 0) close(LongFolder);
    LongFolder = -1;
    LongFolderPath.clear();
}
