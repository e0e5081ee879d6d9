// The digest lives in the extended attribute user.z, which is also how
// ntfs-3g shows the NTFS stream z.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/reachable_path_posix.h"

const PathChar DigestStreamSuffix[] = "";
const int DigestStreamSuffixLength = 0;

static const char DigestAttribute[] = "user.z";

// Only a missing attribute is no digest; a file system without user
// attributes has none either. Anything else (EIO, EACCES, a vanished file)
// leaves the digest unknown.
static int ReadFailure() {
    return (errno == ENODATA || errno == ENOTSUP) ? NoDigestStream : DigestStreamUnreadable;
}

int QueryDigestStream(const PathChar* streamPath) {
    char buffer[ReachablePathUnits];
    const char* path = ReachablePath(streamPath, buffer);
    if (!path) return DigestStreamUnreadable;
    ssize_t size = getxattr(path, DigestAttribute, nullptr, 0);
    if (size < 0) return ReadFailure();
    return size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
}

int ReadDigestStream(const PathChar* streamPath, uint8_t digest[64]) {
    char buffer[ReachablePathUnits];
    const char* path = ReachablePath(streamPath, buffer);
    if (!path) return DigestStreamUnreadable;
    ssize_t got = getxattr(path, DigestAttribute, digest, 64);
    if (got >= 0) return static_cast<int>(got);
    if (errno != ERANGE) return ReadFailure();
    // A longer value fails a 64-byte read; take it whole and keep its head.
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = getxattr(path, DigestAttribute, nullptr, 0);
        if (size < 0) return ReadFailure();
        std::vector<uint8_t> whole(static_cast<size_t>(size) + 1);
        got = getxattr(path, DigestAttribute, whole.data(), whole.size());
        if (got >= 0) {
            std::memcpy(digest, whole.data(), static_cast<size_t>(got < 64 ? got : 64));
            return static_cast<int>(got);
        }
        if (errno != ERANGE) return ReadFailure();
    }
    return DigestStreamUnreadable;
}

int WriteDigestStream(FileHandle file, const PathChar* streamPath, const uint8_t digest[64]) {
    // Through the descriptor: the digest goes to the very file that was read.
    // Writing an attribute leaves the mtime alone, so no time is set.
    int fd = static_cast<int>(file);
    if (fsetxattr(fd, DigestAttribute, digest, 64, 0) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    // A file renamed over the path while it was read: the path now names
    // another file, which did not get this digest.
    struct stat written, named;
    char buffer[ReachablePathUnits];
    const char* path = ReachablePath(streamPath, buffer);
    bool moved = fstat(fd, &written) != 0 || !path || stat(path, &named) != 0 || written.st_dev != named.st_dev ||
                 written.st_ino != named.st_ino;
    close(fd);
    return moved ? DigestPathMoved : 64;
}

bool DeleteDigestStream(const PathChar* streamPath) {
    char buffer[ReachablePathUnits];
    const char* path = ReachablePath(streamPath, buffer);
    return path && removexattr(path, DigestAttribute) == 0;
}
