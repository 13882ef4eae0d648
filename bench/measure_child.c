/* Runs a command and reports, on standard error as one line, its wall time, user and system CPU
 * time and peak resident set: "measure: wall_us user_us sys_us maxrss_kb exit". A small program
 * of its own, because Linux carries a process's peak resident set across exec: measured from a
 * large parent, every child would report at least the parent's peak. Output of the command is
 * discarded unless MEASURE_KEEP_OUTPUT is set.
 *   measure_child COMMAND [ARG...] */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long now_us(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fputs("usage: measure_child COMMAND [ARG...]\n", stderr);
        return 2;
    }
    const long long t0 = now_us();
    const pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            if (!getenv("MEASURE_KEEP_OUTPUT")) dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) < 0) return 2;
    const long long wall = now_us() - t0;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    fprintf(stderr, "measure: %lld %lld %lld %ld %d\n", wall,
            (long long)ru.ru_utime.tv_sec * 1000000 + ru.ru_utime.tv_usec,
            (long long)ru.ru_stime.tv_sec * 1000000 + ru.ru_stime.tv_usec, ru.ru_maxrss, code);
    return 0;
}
