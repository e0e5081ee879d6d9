// The digest lives in the extended attribute user.z and its record in
// user.zr, which is also how ntfs-3g shows the NTFS streams z and zr. Every
// call goes through the open file's descriptor, so the attribute belongs to
// the file that was opened (and read), whatever its path names by now.
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"

static const char* AttributeOf(StreamName stream) { return stream == DigestStream ? "user.z" : "user.zr"; }

// A descriptor opened for the streams only (O_PATH) takes no attribute call
// of its own; its /proc link reaches the very file instead.
static void ProcPathOf(FileHandle file, char* buffer, size_t size) {
    std::snprintf(buffer, size, "/proc/self/fd/%d", static_cast<int>(file));
}

static ssize_t GetAttribute(FileHandle file, const char* name, void* value, size_t size) {
    ssize_t got = fgetxattr(static_cast<int>(file), name, value, size);
    if (got >= 0 || errno != EBADF) return got;
    char proc[40];
    ProcPathOf(file, proc, sizeof proc);
    return getxattr(proc, name, value, size);
}

// Only a missing attribute is no stream; a file system without user
// attributes has none either. Anything else (EIO, EACCES) leaves it unknown.
static int ReadFailure() {
    return (errno == ENODATA || errno == ENOTSUP) ? NoDigestStream : DigestStreamUnreadable;
}

int QueryStream(FileHandle file, const PathChar*, StreamName stream) {
    ssize_t size = GetAttribute(file, AttributeOf(stream), nullptr, 0);
    if (size < 0) return ReadFailure();
    return size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
}

int ReadStream(FileHandle file, const PathChar*, StreamName stream, uint8_t* bytes, int capacity) {
    const char* name = AttributeOf(stream);
    ssize_t got = GetAttribute(file, name, bytes, static_cast<size_t>(capacity));
    if (got >= 0) return static_cast<int>(got);
    if (errno != ERANGE) return ReadFailure();
    // A longer value fails a short read; take it whole and keep its head.
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = GetAttribute(file, name, nullptr, 0);
        if (size < 0) return ReadFailure();
        std::vector<uint8_t> whole(static_cast<size_t>(size) + 1);
        got = GetAttribute(file, name, whole.data(), whole.size());
        if (got >= 0) {
            std::memcpy(bytes, whole.data(), static_cast<size_t>(got < capacity ? got : capacity));
            return got > 0x7fffffff ? 0x7fffffff : static_cast<int>(got);
        }
        if (errno != ERANGE) return ReadFailure();
    }
    return DigestStreamUnreadable;
}

// Writing an attribute leaves the last-write time alone (it moves the change
// time only), so no time is set.
int WriteFileStreams(FileHandle file, const PathChar*, const uint8_t* digest, StreamWrite how,
                     const uint8_t* record, int recordLength) {
    int fd = static_cast<int>(file);
    int result = 0;
    int error = 0;
    if (digest) {
        int flags = how == StreamCreateOnly ? XATTR_CREATE : XATTR_REPLACE;
        if (fsetxattr(fd, "user.z", digest, 64, flags) != 0) {
            error = errno;
            result = error == EEXIST ? StreamAppeared : error == ENODATA ? StreamVanished : -1;
        }
    }
    if (result == 0 && record && fsetxattr(fd, "user.zr", record, static_cast<size_t>(recordLength), 0) != 0) {
        error = errno;
        result = digest ? RecordNotStored : -1;
        // An older record must not stand beside the new digest, nor a digest
        // made just now without its record.
        if (digest) fremovexattr(fd, "user.zr");
        if (digest && how == StreamCreateOnly && fremovexattr(fd, "user.z") == 0) result = -1;
    }
    close(fd);
    errno = error;
    return result;
}

bool DeleteFileStreams(FileHandle file, const PathChar*) {
    int fd = static_cast<int>(file);
    char proc[40];
    ProcPathOf(file, proc, sizeof proc);
    // A path-only descriptor (a file that may not be read) takes the /proc link.
    auto remove = [&](const char* name) {
        int done = fremovexattr(fd, name);
        if (done != 0 && errno == EBADF) done = removexattr(proc, name);
        return done == 0 || errno == ENODATA;
    };
    if (!remove("user.z")) return false;
    int error = errno;
    remove("user.zr");
    errno = error;
    return true;
}
