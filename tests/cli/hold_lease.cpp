// hold_lease FILE COMMAND...: runs COMMAND while this process holds a write
// lease on FILE. The command's non-blocking opens of FILE then fail with
// EWOULDBLOCK, even for root, while FILE's extended attributes stay readable:
// a file whose digest is there but whose contents cannot be read.
// On Windows it holds FILE open for reading and shares only reading, as
// another program reading it would.
// Exit status: the command's, or 77 when no lease can be taken here.
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 77;
    std::wstring line;
    for (int i = 2; i < argc; ++i) line += L"\"" + std::wstring(argv[i]) + L"\" ";
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION child;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child)) return 127;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 127;
    GetExitCodeProcess(child.hProcess, &status);
    return static_cast<int>(status);
}
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: hold_lease FILE COMMAND...\n");
        return 2;
    }
    // The kernel tells the holder about the lease break with SIGIO.
    signal(SIGIO, SIG_IGN);
    int file = open(argv[1], O_RDONLY);
    if (file < 0 || fcntl(file, F_SETLEASE, F_WRLCK) != 0) {
        std::perror("hold_lease");
        return 77;
    }
    pid_t child = fork();
    if (child < 0) return 77;
    if (child == 0) {
        close(file);
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif
