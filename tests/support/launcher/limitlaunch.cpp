// Starts a program and reports its peak memory, for runLimited():
//
//   limitlaunch PROGRAM ARGS...
//
// The program is forked from this small process rather than from the test
// program, whose resident memory would otherwise count towards the peak the
// kernel reports. The peak (KB) is written to descriptor 3; the exit code
// is the program's, and a program ended by a signal ends this one alike.
// The program is ended after 60 seconds.

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 127;
    fcntl(3, F_SETFD, FD_CLOEXEC);
    pid_t pid = fork();
    if (pid < 0)
        return 127;
    if (pid == 0) {
        alarm(60);
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 127;
    std::string peak = std::to_string(usage.ru_maxrss);
    if (write(3, peak.data(), peak.size()) < 0)
        return 127;
    if (WIFSIGNALED(status)) {
        std::signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
}
