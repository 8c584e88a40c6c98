#include "file_identity.h"

#include <filesystem>

#include "paths.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

bool file_identity(const char* path, uint64_t& device, uint64_t& file)
{
    // Backup semantics open folders as well as files.
    const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok)
        return false;
    device = info.dwVolumeSerialNumber;
    file = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    return true;
}

#else

bool file_identity(const char* path, uint64_t& device, uint64_t& file)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    device = static_cast<uint64_t>(st.st_dev), file = static_cast<uint64_t>(st.st_ino);
    return true;
}

std::string follow_links(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(4096, '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) == target.size())
            return path;  // whatever uses it fails on it
        target.resize(static_cast<size_t>(n));
        const size_t cut = path.find_last_of('/');
        path = target[0] == '/' || cut == std::string::npos ? target : path.substr(0, cut + 1) + target;
    }
    return path;
}

#endif

file_key key_of(const std::string& path)
{
    file_key key;
#ifdef _WIN32
    // Windows' own rename replaces a link rather than following it; a file
    // that exists is known by its identity below in any case.
    const std::string& located = path;
#else
    const std::string located = follow_links(path);
#endif
    const size_t start = name_start(located);
    const std::string folder = start == 0 ? "." : located.substr(0, start);
    key.name = located.substr(start);
#ifdef _WIN32
    for (char& c : key.name)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
#endif
    if (!file_identity(folder.c_str(), key.folder_device, key.folder_file)) {
        std::error_code failed;
        const std::filesystem::path absolute = std::filesystem::absolute(path, failed);
        key.name = (failed ? std::filesystem::path(path) : absolute).lexically_normal().generic_string();
    }
    key.exists = file_identity(path.c_str(), key.device, key.file);
    return key;
}

bool same_file(const file_key& a, const file_key& b)
{
    if (a.exists && b.exists && a.device == b.device && a.file == b.file)
        return true;
    return a.folder_device == b.folder_device && a.folder_file == b.folder_file && a.name == b.name;
}
