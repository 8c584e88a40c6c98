#include "regular_file.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

// The check is made on the file that was opened, so nothing can be swapped
// in between, and the name reaches nothing but fopen (or open): the runtime
// then reads it in the same code page as the wildcard expansion that may
// have produced it. A device could feed a reader forever, and neither it nor
// a pipe has a length to check sizes against.
file_ptr open_regular_file(const char* path, uint64_t& size)
{
#ifdef _WIN32
    FILE* f = std::fopen(path, "rb");
    struct _stat64 st;
    if (f && (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) {
        std::fclose(f);
        f = nullptr;
    }
#else
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    FILE* f = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr;
    if (!f && fd >= 0)
        ::close(fd);
#endif
    if (!f)
        return file_ptr(nullptr, &std::fclose);
    size = static_cast<uint64_t>(st.st_size);
    // Readers here ask for big blocks, each of which a stream buffer would
    // only copy once more; without one, every request is one system call.
    std::setvbuf(f, nullptr, _IONBF, 0);
    return file_ptr(f, &std::fclose);
}
