#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"

void ReadCommandArguments(int argc, char** argv, std::vector<PathString>* args) {
    args->clear();
    for (int i = 1; i < argc; ++i) args->push_back(argv[i]);
}

void WriteChannel(ConsoleChannel channel, const PathChar* text, size_t length) {
    // Records that went before a message stay before it in a shared file.
    if (channel == StandardError) std::fflush(stdout);
    std::fwrite(text, 1, length, channel == StandardOutput ? stdout : stderr);
}

void FlushChannels() {
    std::fflush(stdout);
    std::fflush(stderr);
}

bool OutputComplete() { return std::ferror(stdout) == 0; }

bool ChannelIsTerminal(ConsoleChannel channel) {
    return isatty(channel == StandardOutput ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

bool RedirectStandardOutput(const PathChar* path) {
    std::fflush(stdout);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool moved = dup2(fd, STDOUT_FILENO) >= 0;
    close(fd);
    return moved;
}

bool StandardOutputIdentity(FileIdentity* identity) {
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    identity->volume = static_cast<uint64_t>(st.st_dev);
    identity->index = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool ReadInputLine(PathString* line) {
    line->clear();
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line->push_back(static_cast<char>(c));
    return c != EOF || !line->empty();
}

bool ReadStandardInput(size_t limit, std::string* bytes) {
    char piece[65536];
    while (bytes->size() <= limit) {
        ssize_t got = read(0, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got == 0;
        bytes->append(piece, static_cast<size_t>(got));
    }
    return true;
}

static std::atomic<bool> InterruptFlag;
static void (*InterruptCall)();
// Added to by the stop handler, taken by the main thread: one atomic step
// each, so the handler needs no holding off.
static std::atomic<uint64_t> StoppedTime;
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the stop handler adds to StoppedTime");
static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt handler sets an atomic flag");

// The flag goes first: a worker whose hashing the call cuts short then also
// sees it, and halts instead of reporting what it did not read.
static void OnInterrupt(int) {
    InterruptFlag = true;
    InterruptCall();
}

static void SetStopHandler();

// Stops the process the default way and, once continued, notes for how long.
static void OnStop(int) {
    int saved = errno;
    uint64_t stopped = SystemTimeNow();
    signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    // The signal is blocked while its handler runs; let the raised one through.
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTSTP);
    SetStopHandler();
    StoppedTime.fetch_add(SystemTimeNow() - stopped);
    errno = saved;
}

static void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

static void SetStopHandler() { SetHandler(SIGTSTP, OnStop); }

void InstallRunSignals(void (*onInterrupt)(), void (*)()) {
    InterruptCall = onInterrupt;
    SetHandler(SIGINT, OnInterrupt);
    SetHandler(SIGTERM, OnInterrupt);
    SetHandler(SIGHUP, OnInterrupt);
    SetStopHandler();
}

bool InterruptRequested() { return InterruptFlag.load(); }

static void RunSignalSet(sigset_t* set) {
    sigemptyset(set);
    sigaddset(set, SIGINT);
    sigaddset(set, SIGTERM);
    sigaddset(set, SIGHUP);
    sigaddset(set, SIGTSTP);
}

uint64_t TakeStoppedTime() { return StoppedTime.exchange(0); }

static sigset_t HeldMask;

void HoldRunSignals() {
    sigset_t set;
    RunSignalSet(&set);
    pthread_sigmask(SIG_BLOCK, &set, &HeldMask);
}

void ReleaseRunSignals() { pthread_sigmask(SIG_SETMASK, &HeldMask, nullptr); }

void EndProcess(int status) {
    FlushChannels();
    _exit(status);
}
