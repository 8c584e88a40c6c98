#include "output_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "file_identity.h"
#include "paths.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "windows_links.h"
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The temporary files being written, for the signal handler, which may only
// touch fixed buffers and lock-free flags: a form's files are written at
// once, so there is a slot for each (four at most today). A file is recorded
// only once its exclusive creation has succeeded, so that the handler can
// never remove a file of that name that another process made, and slots
// change only while the handler is held off (handler_lock), so that no
// temporary file can escape it either.
constexpr int pending_slots = 16;
char pending_paths[pending_slots][4096];
std::atomic<bool> pending[pending_slots];
static_assert(std::atomic<bool>::is_always_lock_free);

unsigned long temporary_counter = 0;

// The longest name a directory entry may have on the systems Vantrel runs
// on (NAME_MAX on Linux, the limit of NTFS and FAT): the temporary name is
// cut to it where the header's own name barely fits.
constexpr size_t max_name_bytes = 255;

#ifdef _WIN32

unsigned long process_id()
{
    return GetCurrentProcessId();
}

// The console handler runs on a thread of its own, which this lock holds
// off while the temporary file is created, renamed or removed.
SRWLOCK pending_lock = SRWLOCK_INIT;

struct handler_lock {
    handler_lock() { AcquireSRWLockExclusive(&pending_lock); }
    ~handler_lock() { ReleaseSRWLockExclusive(&pending_lock); }
    handler_lock(const handler_lock&) = delete;
    handler_lock& operator=(const handler_lock&) = delete;
};

// Shared for deletion, so that the console handler can remove it while it
// is still open; in text mode, so that line ends become CR LF.
FILE* create_exclusive(const std::string& path, bool binary, unsigned, bool& exists)
{
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    exists = h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | (binary ? _O_BINARY : _O_TEXT));
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* f = _fdopen(fd, binary ? "wb" : "w");
    if (!f)
        _close(fd);
    return f;
}

bool rename_over(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// Where the file that path names will be, and what stands there.
bool find_destination(const std::string& path, std::string& destination, output_file::existing& there)
{
    destination = path;
    struct _stat64 st;
    if (_stat64(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if ((st.st_mode & _S_IFMT) != _S_IFREG)
        return false;
    // A file another program holds open without sharing it, or a read-only
    // one, cannot be replaced: say so now rather than after all the work.
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool named = follow_link(path, h, destination);
    CloseHandle(h);
    if (!named)
        return false;
    there.found = file_identity(path.c_str(), there.device, there.file);
    return true;
}

uint64_t file_offset(FILE* f)
{
    const long long at = _lseeki64(_fileno(f), 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

bool cut_file(FILE* f, uint64_t size)
{
    return _chsize_s(_fileno(f), static_cast<long long>(size)) == 0;
}

BOOL WINAPI on_console_event(DWORD)
{
    // Held for good: the process ends once the default handler has run,
    // and no other temporary file may be started meanwhile.
    AcquireSRWLockExclusive(&pending_lock);
    for (int i = 0; i < pending_slots; ++i)
        if (pending[i].load())
            DeleteFileA(pending_paths[i]);
    return FALSE;  // on to the default handler, which ends the process
}

#else

unsigned long process_id()
{
    return static_cast<unsigned long>(getpid());
}

// The signals whose handler removes the temporary file, blocked while it is
// created, renamed or removed. The program's other threads block every
// signal (start_thread), so the handler can only run on this one.
constexpr int removing_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

struct handler_lock {
    sigset_t before;
    handler_lock()
    {
        sigset_t blocked;
        sigemptyset(&blocked);
        for (const int sig : removing_signals)
            sigaddset(&blocked, sig);
        pthread_sigmask(SIG_BLOCK, &blocked, &before);
    }
    ~handler_lock() { pthread_sigmask(SIG_SETMASK, &before, nullptr); }
    handler_lock(const handler_lock&) = delete;
    handler_lock& operator=(const handler_lock&) = delete;
};

// Where the file that path names will be, and what stands there.
bool find_destination(const std::string& path, std::string& destination, output_file::existing& there)
{
    destination = follow_links(path);
    struct stat st;
    if (stat(destination.c_str(), &st) != 0)
        return errno == ENOENT;
    there = {true, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), st.st_mode & 07777u};
    return S_ISREG(st.st_mode);
}

// The new file keeps the permissions of the one it replaces (mode, if not 0).
FILE* create_exclusive(const std::string& path, bool, unsigned mode, bool& exists)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    exists = fd < 0 && errno == EEXIST;
    if (fd < 0)
        return nullptr;
    if (mode != 0)
        fchmod(fd, static_cast<mode_t>(mode));
    FILE* f = fdopen(fd, "w");
    if (!f)
        ::close(fd);
    return f;
}

bool rename_over(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

uint64_t file_offset(FILE* f)
{
    const off_t at = lseek(fileno(f), 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

bool cut_file(FILE* f, uint64_t size)
{
    return ftruncate(fileno(f), static_cast<off_t>(size)) == 0;
}

extern "C" void on_signal(int sig)
{
    for (int i = 0; i < pending_slots; ++i)
        if (pending[i].load())
            unlink(pending_paths[i]);
    // SA_RESETHAND has put back the default action: the signal, pending
    // until this handler returns, then ends the process as it would have.
    raise(sig);
}

#endif

// A name beside the destination for the file being written: the
// destination's own name, the process and a count, cut where the whole
// would be longer than a directory entry may be, so that any header whose
// own name fits can be written.
std::string temporary_name(const std::string& destination, unsigned long counter)
{
    std::string suffix = ".";
    suffix.append(std::to_string(process_id())).append("-").append(std::to_string(counter)).append(".tmp");
    const size_t start = name_start(destination);
    const size_t keep = std::min(destination.size() - start, max_name_bytes - suffix.size());
    std::string name(destination, 0, start + keep);
    return name.append(suffix);
}

}  // namespace

bool output_file::open(const std::string& path, kind how)
{
    discard();
    replaced_ = {};
    if (!find_destination(path, destination_, replaced_))
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporary_name(destination_, ++temporary_counter);
        if (name.size() >= sizeof pending_paths[0])
            break;
        bool exists = false;
        {
            const handler_lock held;
            int slot = 0;
            while (slot < pending_slots && pending[slot].load())
                ++slot;
            if (slot == pending_slots)
                return false;
            stream_ = create_exclusive(name, how == binary, replaced_.mode, exists);
            if (stream_) {
                temporary_ = name, slot_ = slot;
                std::memcpy(pending_paths[slot], name.c_str(), name.size() + 1);
                pending[slot].store(true);
            }
        }
        if (stream_) {
            if (how == text)
                std::setvbuf(stream_, nullptr, _IONBF, 0);
            return true;
        }
        if (!exists)
            break;
    }
    return false;
}

uint64_t output_file::size() const
{
    return stream_ ? file_offset(stream_) : 0;
}

bool output_file::truncate(uint64_t size)
{
    if (!stream_)
        return false;
    // What stays was all written, whatever failed after it.
    std::clearerr(stream_);
    return cut_file(stream_, size);
}

bool output_file::close()
{
    if (!stream_)
        return false;
    const bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return written && closed;
}

bool output_file::place()
{
    return place_at(destination_);
}

bool output_file::place_at(const std::string& path)
{
    if (stream_ || temporary_.empty())
        return false;
    const handler_lock held;
    const bool placed = rename_over(temporary_, path);
    if (!placed)
        std::remove(temporary_.c_str());
    forget();
    return placed;
}

bool output_file::place_unless_same()
{
    if (stream_ || temporary_.empty())
        return false;
    // Declarations are a few lines: both files are read whole.
    const auto contents = [](const std::string& path, std::string& bytes) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return false;
        char block[4096];
        size_t n = 0;
        while ((n = std::fread(block, 1, sizeof block, f)) > 0 && bytes.size() < (size_t{1} << 20))
            bytes.append(block, n);
        const bool ok = !std::ferror(f) && std::feof(f);
        std::fclose(f);
        return ok;
    };
    std::string before, after;
    if (!(contents(destination_, before) && contents(temporary_, after) && before == after))
        return place();
    discard();
    return true;
}

void output_file::discard()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    const handler_lock held;
    if (!temporary_.empty())
        std::remove(temporary_.c_str());
    forget();
}

// Called with the handler held off.
void output_file::forget()
{
    if (slot_ >= 0)
        pending[slot_].store(false);
    slot_ = -1;
    temporary_.clear();
}

void remove_output_on_signals()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    for (const int sig : removing_signals) {
        struct sigaction old {};
        // A signal ignored from the start (nohup, a job started in the
        // background) stays ignored.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = on_signal;
        action.sa_flags = static_cast<int>(SA_RESETHAND);
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
