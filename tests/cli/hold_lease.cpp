// hold_lease FILE COMMAND...: runs COMMAND while this process holds a write
// lease on FILE. The command's non-blocking opens of FILE then fail with
// EWOULDBLOCK, even for root, while FILE's extended attributes stay readable:
// a file whose digest is there but whose contents cannot be read.
// Exit status: the command's, or 77 when no lease can be taken here.
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
