// fault_shim: loaded into the program under test with LD_PRELOAD, it puts
// faults and interrupts at exact points instead of at moments in time.
//   FAULT_SETXATTR_FAILS=TEXT  setxattr or fsetxattr of a file whose path holds
//     TEXT fails (EACCES).
//   FAULT_RECORD_FAILS=TEXT  fsetxattr of the record (user.zr) of a file whose
//     path holds TEXT fails (ENOSPC), after its digest was written.
//   FAULT_UNKNOWN_TYPES=1  readdir reports every entry's type as unknown, as
//     some file systems do, so that the program has to look each one up.
//   FAULT_FSTATAT_FAILS=TEXT  fstatat of a name holding TEXT fails (EACCES).
//   FAULT_INTERRUPT=CALL:N:WHEN  at the Nth call of CALL (setxattr, removexattr
//     or read),
//     before or after the real call (WHEN), SIGINT goes to the process; the
//     calling thread stays inside the call until the signal has been
//     delivered (its handler runs then, on a thread that does not block it)
//     and FAULT_HOLD_MS (default 300) more, for the main loop to notice it.
//   FAULT_HOLD=CALL:NAME:N  before the Nth call of CALL (openat, openat2,
//     fgetxattr or fsetxattr) on an entry called NAME, the process waits: it
//     creates $FAULT_HOLD_DIR/held and goes on once $FAULT_HOLD_DIR/go exists,
//     so that a test changes the tree at that very point.
//   FAULT_CHANGE_AT_READ=TEXT  the first read of a file whose path holds TEXT
//     first appends a byte to it: a file that changes while it is hashed.
// A setxattr or read begun after that interrupt is announced on standard
// error as "fault_shim: setxattr after the interrupt" (or read).
// Both the plain and the 64-bit names are wrapped, so neither may stand for
// the other.
#undef _FILE_OFFSET_BITS
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

typedef int (*SetxattrCall)(const char*, const char*, const void*, size_t, int);
typedef int (*FsetxattrCall)(int, const char*, const void*, size_t, int);
typedef ssize_t (*ReadCall)(int, void*, size_t);

// The path an open descriptor names, for the calls that take one.
static std::string PathOfDescriptor(int file) {
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", file);
    ssize_t n = readlink(link, path, sizeof path - 1);
    return std::string(path, n > 0 ? static_cast<size_t>(n) : 0);
}

static std::atomic<long> HoldCalls;

// Holds the calling thread when this call of call on path is the one
// FAULT_HOLD names.
static void HoldIfDue(const char* call, const char* path) {
    const char* wanted = std::getenv("FAULT_HOLD");
    const char* folder = std::getenv("FAULT_HOLD_DIR");
    if (!wanted || !folder) return;
    size_t length = std::strlen(call);
    if (std::strncmp(wanted, call, length) != 0 || wanted[length] != ':') return;
    const char* name = wanted + length + 1;
    const char* end = std::strchr(name, ':');
    if (!end) return;
    size_t nameLength = static_cast<size_t>(end - name);
    size_t pathLength = std::strlen(path);
    if (pathLength < nameLength || std::strncmp(path + pathLength - nameLength, name, nameLength) != 0) return;
    if (pathLength > nameLength && path[pathLength - nameLength - 1] != '/') return;
    if (++HoldCalls != std::atol(end + 1)) return;
    std::string held = std::string(folder) + "/held", go = std::string(folder) + "/go";
    int marker = open(held.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (marker >= 0) close(marker);
    struct stat st;
    for (int wait = 0; wait < 30000 && stat(go.c_str(), &st) != 0; ++wait) usleep(1000);
}

typedef int (*OpenatCall)(int, const char*, int, ...);

#define WRAP_OPENAT(symbol)                                                                        \
    extern "C" int symbol(int folder, const char* name, int flags, ...) {                         \
        static OpenatCall real = reinterpret_cast<OpenatCall>(dlsym(RTLD_NEXT, #symbol));         \
        mode_t mode = 0;                                                                          \
        if (flags & (O_CREAT | O_TMPFILE)) {                                                      \
            va_list arguments;                                                                    \
            va_start(arguments, flags);                                                           \
            mode = va_arg(arguments, mode_t);                                                     \
            va_end(arguments);                                                                    \
        }                                                                                         \
        HoldIfDue("openat", name);                                                                \
        return real(folder, name, flags, mode);                                                   \
    }
WRAP_OPENAT(openat)
WRAP_OPENAT(openat64)

typedef long (*SyscallCall)(long, ...);

// openat2 has no wrapper of its own in the C library: it comes through syscall.
extern "C" long syscall(long number, ...) {
    static SyscallCall real = reinterpret_cast<SyscallCall>(dlsym(RTLD_NEXT, "syscall"));
    va_list arguments;
    va_start(arguments, number);
    long a[6];
    for (long& argument : a) argument = va_arg(arguments, long);
    va_end(arguments);
#ifdef SYS_openat2
    if (number == SYS_openat2) HoldIfDue("openat2", reinterpret_cast<const char*>(a[1]));
#endif
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

extern "C" ssize_t fgetxattr(int file, const char* name, void* value, size_t size) {
    typedef ssize_t (*FgetxattrCall)(int, const char*, void*, size_t);
    static FgetxattrCall real = reinterpret_cast<FgetxattrCall>(dlsym(RTLD_NEXT, "fgetxattr"));
    if (std::strcmp(name, "user.z") == 0) HoldIfDue("fgetxattr", PathOfDescriptor(file).c_str());
    return real(file, name, value, size);
}

static std::atomic<long> SetxattrCalls;
static std::atomic<long> ReadCalls;
static std::atomic<bool> InterruptSent;

// Whether call number count of name is the one FAULT_INTERRUPT names, and when.
static bool InterruptDue(const char* name, long count, const char* when) {
    const char* wanted = std::getenv("FAULT_INTERRUPT");
    if (!wanted) return false;
    size_t length = std::strlen(name);
    if (std::strncmp(wanted, name, length) != 0 || wanted[length] != ':') return false;
    char* rest = nullptr;
    long n = std::strtol(wanted + length + 1, &rest, 10);
    return n == count && rest && *rest == ':' && std::strcmp(rest + 1, when) == 0;
}

// Whether SIGINT still waits for a thread to take it, from the process's
// shared pending set in /proc/self/status.
static bool InterruptPending() {
    int status = open("/proc/self/status", O_RDONLY);
    if (status < 0) return false;
    char text[8192];
    ssize_t got = pread(status, text, sizeof text - 1, 0);
    close(status);
    if (got <= 0) return false;
    text[got] = 0;
    const char* line = std::strstr(text, "ShdPnd:");
    if (!line) return false;
    unsigned long long pending = std::strtoull(line + 7, nullptr, 16);
    return (pending >> (SIGINT - 1)) & 1;
}

static void Announce(const char* call) {
    char line[80];
    int n = std::snprintf(line, sizeof line, "fault_shim: %s after the interrupt\n", call);
    ssize_t ignored = write(2, line, static_cast<size_t>(n));
    (void)ignored;
}

static void SendInterrupt() {
    InterruptSent = true;
    kill(getpid(), SIGINT);
    for (int wait = 0; wait < 10000 && InterruptPending(); ++wait) usleep(1000);
    const char* hold = std::getenv("FAULT_HOLD_MS");
    long ms = hold ? std::atol(hold) : 300;
    struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// One digest write, by path or through an open file: both count as
// "setxattr" calls, and path names the file either way. The record's write
// that follows a digest's is not counted.
template <typename Write>
static int WriteAttribute(const char* path, Write write) {
    if (InterruptSent) Announce("setxattr");
    long count = ++SetxattrCalls;
    if (InterruptDue("setxattr", count, "before")) SendInterrupt();
    const char* fails = std::getenv("FAULT_SETXATTR_FAILS");
    int result;
    if (fails && *fails && std::strstr(path, fails)) {
        errno = EACCES;
        result = -1;
    } else {
        result = write();
    }
    int saved = errno;
    if (InterruptDue("setxattr", count, "after")) SendInterrupt();
    errno = saved;
    return result;
}

extern "C" int setxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
    static SetxattrCall real = reinterpret_cast<SetxattrCall>(dlsym(RTLD_NEXT, "setxattr"));
    if (std::strcmp(name, "user.z") != 0) return real(path, name, value, size, flags);
    return WriteAttribute(path, [&] { return real(path, name, value, size, flags); });
}

extern "C" int fsetxattr(int file, const char* name, const void* value, size_t size, int flags) {
    static FsetxattrCall real = reinterpret_cast<FsetxattrCall>(dlsym(RTLD_NEXT, "fsetxattr"));
    // The record written after a digest belongs to that digest's write.
    if (std::strcmp(name, "user.z") != 0) {
        const char* fails = std::getenv("FAULT_RECORD_FAILS");
        if (fails && *fails && std::strstr(PathOfDescriptor(file).c_str(), fails)) {
            errno = ENOSPC;
            return -1;
        }
        return real(file, name, value, size, flags);
    }
    std::string path = PathOfDescriptor(file);
    HoldIfDue("fsetxattr", path.c_str());
    return WriteAttribute(path.c_str(), [&] { return real(file, name, value, size, flags); });
}

static void ChangeBeforeFirstRead(int file) {
    const char* text = std::getenv("FAULT_CHANGE_AT_READ");
    struct stat st;
    if (!text || !*text || fstat(file, &st) != 0 || !S_ISREG(st.st_mode) || lseek(file, 0, SEEK_CUR) != 0) return;
    std::string path = PathOfDescriptor(file);
    if (!std::strstr(path.c_str(), text)) return;
    int change = open(path.c_str(), O_WRONLY | O_APPEND);
    if (change < 0) return;
    ssize_t ignored = write(change, "+", 1);
    (void)ignored;
    close(change);
}

extern "C" ssize_t read(int file, void* buffer, size_t size) {
    static ReadCall real = reinterpret_cast<ReadCall>(dlsym(RTLD_NEXT, "read"));
    ChangeBeforeFirstRead(file);
    if (InterruptSent) Announce("read");
    long count = ++ReadCalls;
    if (InterruptDue("read", count, "before")) SendInterrupt();
    ssize_t result = real(file, buffer, size);
    int saved = errno;
    if (InterruptDue("read", count, "after")) SendInterrupt();
    errno = saved;
    return result;
}

static std::atomic<long> RemovexattrCalls;

// One digest removal, by path or through an open file: both count as
// "removexattr" calls. The record's removal that follows it is not counted.
template <typename Remove>
static int RemoveAttribute(const char* name, Remove remove) {
    if (std::strcmp(name, "user.z") != 0) return remove();
    if (InterruptSent) Announce("removexattr");
    long count = ++RemovexattrCalls;
    if (InterruptDue("removexattr", count, "before")) SendInterrupt();
    int result = remove();
    int saved = errno;
    if (InterruptDue("removexattr", count, "after")) SendInterrupt();
    errno = saved;
    return result;
}

extern "C" int removexattr(const char* path, const char* name) {
    typedef int (*RemovexattrCall)(const char*, const char*);
    static RemovexattrCall real = reinterpret_cast<RemovexattrCall>(dlsym(RTLD_NEXT, "removexattr"));
    return RemoveAttribute(name, [&] { return real(path, name); });
}

extern "C" int fremovexattr(int file, const char* name) {
    typedef int (*FremovexattrCall)(int, const char*);
    static FremovexattrCall real = reinterpret_cast<FremovexattrCall>(dlsym(RTLD_NEXT, "fremovexattr"));
    return RemoveAttribute(name, [&] { return real(file, name); });
}

template <typename Entry>
static Entry* WithoutType(Entry* entry) {
    const char* unknown = std::getenv("FAULT_UNKNOWN_TYPES");
    if (entry && unknown && *unknown == '1') entry->d_type = DT_UNKNOWN;
    return entry;
}

extern "C" struct dirent* readdir(DIR* folder) {
    typedef struct dirent* (*ReaddirCall)(DIR*);
    static ReaddirCall real = reinterpret_cast<ReaddirCall>(dlsym(RTLD_NEXT, "readdir"));
    return WithoutType(real(folder));
}

extern "C" struct dirent64* readdir64(DIR* folder) {
    typedef struct dirent64* (*Readdir64Call)(DIR*);
    static Readdir64Call real = reinterpret_cast<Readdir64Call>(dlsym(RTLD_NEXT, "readdir64"));
    return WithoutType(real(folder));
}

static bool StatFails(const char* name) {
    const char* fails = std::getenv("FAULT_FSTATAT_FAILS");
    return fails && *fails && std::strstr(name, fails);
}

extern "C" int fstatat(int folder, const char* name, struct stat* out, int flags) {
    typedef int (*FstatatCall)(int, const char*, struct stat*, int);
    static FstatatCall real = reinterpret_cast<FstatatCall>(dlsym(RTLD_NEXT, "fstatat"));
    if (StatFails(name)) {
        errno = EACCES;
        return -1;
    }
    return real(folder, name, out, flags);
}

extern "C" int fstatat64(int folder, const char* name, struct stat64* out, int flags) {
    typedef int (*Fstatat64Call)(int, const char*, struct stat64*, int);
    static Fstatat64Call real = reinterpret_cast<Fstatat64Call>(dlsym(RTLD_NEXT, "fstatat64"));
    if (StatFails(name)) {
        errno = EACCES;
        return -1;
    }
    return real(folder, name, out, flags);
}
