// Where the program starts, and the only place that decides its exit
// status: 0 after "Done" or the usage line, 1 after any error line.
#include <cerrno>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "main.h"
#include "output_file.h"

namespace {

// A program started with a standard stream closed would hand that
// descriptor to the first file it opens, and its messages would then go
// into that file. The null device takes its place first.
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

bool run(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("Usage: %s file.bmp ...\n", argc > 0 && argv[0] ? argv[0] : "vantrel");
        return true;
    }
    const bool combined = std::strncmp(argv[1], "-a", 2) == 0;
    try {
        if (!(combined ? run_combined(argc - 2, argv + 2) : run_single(argc - 1, argv + 1)))
            return false;
    } catch (const std::bad_alloc&) {
        // The pixel buffer's own failure is reported by the reader; this is
        // the rest (names, read and write buffers) when memory is that tight.
        std::printf("error: out of memory\n");
        return false;
    }
    std::printf("Done\n");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    open_standard_streams();
    remove_output_on_signals();
    const bool ok = run(argc, argv);
    // Messages that never arrived make a failed run, as for any tool whose
    // output is read by another program.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("error: can't write standard output\n", stderr);
        return 1;
    }
    return ok ? 0 : 1;
}
