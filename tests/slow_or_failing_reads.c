/* Preloaded into vantrel by the tests (LD_PRELOAD) to make reading fail or
 * crawl in the middle of a picture, which no real file does on demand: a
 * file whose name contains "unreadable" fails every read past its first
 * mebibyte as an I/O error would, and one whose name contains "slow" takes
 * a fifth of a second for every read. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int named(FILE *stream, const char *part)
{
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    return strstr(path, part) != NULL;
}

static int refused;

size_t fread(void *data, size_t size, size_t count, FILE *stream)
{
    static size_t (*real)(void *, size_t, size_t, FILE *);
    if (!real)
        *(void **)&real = dlsym(RTLD_NEXT, "fread");
    if (named(stream, "unreadable") && lseek(fileno(stream), 0, SEEK_CUR) >= (1 << 20)) {
        refused = 1;
        return 0;
    }
    if (named(stream, "slow"))
        nanosleep(&(struct timespec){0, 200000000}, NULL);
    return real(data, size, count, stream);
}

int ferror(FILE *stream)
{
    static int (*real)(FILE *);
    if (!real)
        *(void **)&real = dlsym(RTLD_NEXT, "ferror");
    return (refused && named(stream, "unreadable")) || real(stream);
}
