#include "console.h"

#include "output_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <new>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

void open_standard_streams()
{
    for (int fd = 0; fd <= 2; ++fd) {
#ifdef _WIN32
        if (_get_osfhandle(fd) >= 0)
            continue;
        const int null = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
        if (null >= 0 && null != fd) {
            _dup2(null, fd);
            _close(null);
        }
#else
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            ::close(null);
        }
#endif
    }
}

namespace {

bool shown = true;

}  // namespace

void show_progress(bool show)
{
    shown = show;
}

bool progress_shown()
{
    return shown;
}

void progress(const char* format, ...)
{
    if (!shown)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

int exit_status(bool ok)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("error: can't write standard output\n", stderr);
        return 1;
    }
    return ok ? 0 : 1;
}

int run_program(int argc, char** argv, bool (*body)(int argc, char** argv))
{
    open_standard_streams();
    remove_output_on_signals();
    bool ok = false;
    try {
        ok = body(argc, argv);
    } catch (const std::bad_alloc&) {
        // What a reader or writer allocates is reported where it runs out;
        // this is the rest (names, buffers) when memory is that tight.
        std::printf("error: out of memory\n");
    }
    return exit_status(ok);
}
