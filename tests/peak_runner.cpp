// Runs a program and tells its peak resident memory: peak_runner PROGRAM [ARGUMENT...].
// The program's output is its own; after it ends, "peak_runner: peak N KiB" goes to standard error and the
// program's exit code is returned (255 when it did not exit). A test process starts this small one rather
// than the program itself: a process's peak counts the memory of the process it was started from, up to its
// exec.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char **environ;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: peak_runner PROGRAM [ARGUMENT...]\n");
        return 255;
    }
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::fprintf(stderr, "peak_runner: cannot start %s\n", argv[1]);
        return 255;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 255;
    std::fprintf(stderr, "peak_runner: peak %ld KiB\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}
