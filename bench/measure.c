/* Runs a command and prints its wall time in seconds and its peak resident
   memory in KiB, for bench/run.

   Usage: measure output-file command [argument ...]

   The command's standard output goes to output-file. A command's peak
   includes what its process held before exec, so it is started from this
   small program rather than from the Python script, whose own hundred
   megabytes would be counted for every command. */
#define _DEFAULT_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    struct timespec start, end;
    struct rusage usage;
    int status;
    pid_t pid;

    if (argc < 3) {
        fprintf(stderr, "usage: measure output-file command [argument ...]\n");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid = fork();
    if (pid < 0) {
        perror("measure: fork");
        return 2;
    }
    if (pid == 0) {
        const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    printf("%.6f %ld\n", (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9,
           usage.ru_maxrss);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}
