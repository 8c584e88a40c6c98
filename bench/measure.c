/* Runs a command and prints its wall time in seconds, its CPU time (user plus
   system, all its threads) in seconds and its peak resident memory in KiB,
   for bench/run.

   Usage: measure [-r path] output-file command [argument ...]

   The command's standard output goes to output-file. With -r, path is
   removed once the clock has started, in the child before it execs the
   command, so that getting rid of a previous output is part of both the wall
   time and the CPU time, as it is for a program that replaces its own
   output. A command's peak includes what its process held before exec, so it
   is started from this small program rather than from the Python script,
   whose own hundred megabytes would be counted for every command. */
#define _DEFAULT_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double seconds(struct timeval t)
{
    return (double)t.tv_sec + (double)t.tv_usec / 1e6;
}

int main(int argc, char **argv)
{
    struct timespec start, end;
    struct rusage usage;
    const char *stale = NULL;
    int status;
    pid_t pid;

    if (argc >= 3 && strcmp(argv[1], "-r") == 0) {
        stale = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: measure [-r path] output-file command [argument ...]\n");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid = fork();
    if (pid < 0) {
        perror("measure: fork");
        return 2;
    }
    if (pid == 0) {
        int fd;
        if (stale && unlink(stale) != 0 && errno != ENOENT) {
            perror(stale);
            _exit(127);
        }
        fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0) {
            perror(argv[1]);
            _exit(127);
        }
        close(fd);
        execvp(argv[2], argv + 2);
        perror(argv[2]);
        _exit(127);
    }
    if (wait4(pid, &status, 0, &usage) < 0) {
        perror("measure: wait4");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    printf("%.6f %.6f %ld\n", (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9,
           seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}
