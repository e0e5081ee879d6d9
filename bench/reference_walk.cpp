// The plain program the console is measured against: one thread, nftw without
// following links, every regular file opened and hashed through HashFile, and
// its digest written to user.z (create) or compared with it (check). No lists,
// no reports, no checks beyond that.
//   reference_walk create|check FOLDER
#include <fcntl.h>
#include <ftw.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "engine/hash_file.h"
#include "engine/whirlpool.h"

static bool Creating;
static long Files;
static long Differing;
static GateHandle OpenGate;
static std::atomic<uint64_t> BytesDone;

static int VisitFile(const char* path, const struct stat* st, int type, struct FTW*) {
    if (type != FTW_F || !S_ISREG(st->st_mode)) return 0;
    uint8_t stored[64];
    if (!Creating && getxattr(path, "user.z", stored, sizeof stored) != 64) return 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    uint8_t digest[64];
    HashFile(fd, st->st_size, OpenGate, &BytesDone, digest);
    if (Creating) {
        fsetxattr(fd, "user.z", digest, sizeof digest, 0);
    } else if (std::memcmp(stored, digest, sizeof digest) != 0) {
        ++Differing;
    }
    close(fd);
    ++Files;
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "create") != 0 && std::strcmp(argv[1], "check") != 0)) {
        std::fprintf(stderr, "usage: reference_walk create|check FOLDER\n");
        return 64;
    }
    Creating = std::strcmp(argv[1], "create") == 0;
    BuildWhirlpoolTables();
    OpenGate = CreateGate(true, true);
    if (nftw(argv[2], VisitFile, 64, FTW_PHYS) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    std::printf("%ld files, %ld differing\n", Files, Differing);
    return 0;
}
