// The digest lives in the extended attribute user.z, which is also how
// ntfs-3g shows the NTFS stream z.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/platform.h"

const PathChar DigestStreamSuffix[] = "";
const int DigestStreamSuffixLength = 0;

static const char DigestAttribute[] = "user.z";

bool DigestStreamExists(const PathChar* streamPath) {
    return getxattr(streamPath, DigestAttribute, nullptr, 0) >= 0;
}

static int ReadFailure() {
    return (errno == EACCES || errno == EPERM || errno == EIO) ? DigestStreamUnreadable : NoDigestStream;
}

int ReadDigestStream(const PathChar* streamPath, uint8_t digest[64]) {
    ssize_t got = getxattr(streamPath, DigestAttribute, digest, 64);
    if (got >= 0) return static_cast<int>(got);
    if (errno != ERANGE) return ReadFailure();
    // A longer value fails a 64-byte read; take it whole and keep its head.
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = getxattr(streamPath, DigestAttribute, nullptr, 0);
        if (size < 0) return ReadFailure();
        std::vector<uint8_t> whole(static_cast<size_t>(size) + 1);
        got = getxattr(streamPath, DigestAttribute, whole.data(), whole.size());
        if (got >= 0) {
            int kept = got < 64 ? static_cast<int>(got) : 64;
            std::memcpy(digest, whole.data(), static_cast<size_t>(kept));
            return kept;
        }
        if (errno != ERANGE) return ReadFailure();
    }
    return DigestStreamUnreadable;
}

int WriteDigestStream(const PathChar* streamPath, const uint8_t digest[64], const WriteStamp* stamp) {
    if (setxattr(streamPath, DigestAttribute, digest, 64, 0) != 0) return -1;
    // setxattr leaves the mtime alone on the systems we know; put it back if not.
    struct stat st;
    if (stamp->value[0] != -1 && stat(streamPath, &st) == 0 &&
        (st.st_mtim.tv_sec != stamp->value[0] || st.st_mtim.tv_nsec != stamp->value[1])) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(stamp->value[0]);
        times[1].tv_nsec = static_cast<long>(stamp->value[1]);
        utimensat(AT_FDCWD, streamPath, times, 0);
    }
    return 64;
}

bool DeleteDigestStream(const PathChar* streamPath) {
    return removexattr(streamPath, DigestAttribute) == 0;
}
