#include "console.h"

#include <cerrno>
#include <cstdio>

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

int exit_status(bool ok)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("error: can't write standard output\n", stderr);
        return 1;
    }
    return ok ? 0 : 1;
}
