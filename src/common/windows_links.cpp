#include "windows_links.h"

namespace {

// What one of the system's functions that fill a buffer of wide characters
// gives: they return the length, or the size they need (with the null) if
// the buffer is too small, or 0 on failure, for "".
template <typename Fill>
std::wstring filled(Fill fill)
{
    std::wstring s(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = fill(s.data(), DWORD(s.size()));
        const bool fits = n < s.size();
        s.resize(n);
        if (fits)
            return s;
    }
}

// The full name of the file or folder h has open, every link on the way
// followed, with its \\?\ prefix, or "" where the file system cannot tell.
std::wstring final_path(HANDLE h)
{
    return filled([h](wchar_t* s, DWORD n) { return GetFinalPathNameByHandleW(h, s, n, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS); });
}

// A name in the ANSI code page, in which the program passes names on, or
// "" if it does not convert back to the same name: a character the code
// page lacks would name another file, or none.
std::string ansi_name(const std::wstring& wide)
{
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string name(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), name.data(), n, nullptr, nullptr);
    std::wstring back(wide.size(), L'\0');
    back.resize(size_t(MultiByteToWideChar(CP_ACP, 0, name.data(), n, back.data(), int(back.size()))));
    return back == wide ? name : std::string();
}

}  // namespace

bool follow_link(const std::string& path, HANDLE h, std::string& destination)
{
    destination = path;
    std::wstring wide(path.size(), L'\0');
    wide.resize(size_t(MultiByteToWideChar(CP_ACP, 0, path.data(), int(path.size()), wide.data(), int(wide.size()))));
    const std::wstring full = filled([&](wchar_t* s, DWORD n) { return GetFullPathNameW(wide.c_str(), n, s, nullptr); });
    const size_t cut = full.find_last_of(L'\\');
    if (cut == std::wstring::npos)
        return true;
    const HANDLE folder_handle = CreateFileW(full.substr(0, cut + 1).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder_handle == INVALID_HANDLE_VALUE)
        return true;
    std::wstring beside = final_path(folder_handle);
    CloseHandle(folder_handle);
    const std::wstring target = final_path(h);
    if (beside.empty() || target.empty())
        return true;  // left to the system, as the rename leaves it
    if (beside.back() != L'\\')
        beside += L'\\';
    beside += full.substr(cut + 1);
    if (CompareStringOrdinal(target.data(), int(target.size()), beside.data(), int(beside.size()), TRUE) == CSTR_EQUAL)
        return true;
    // The target's long name, or else its short one, which is ASCII where
    // the volume keeps short names.
    destination = ansi_name(target);
    if (destination.empty())
        destination = ansi_name(filled([&](wchar_t* s, DWORD n) { return GetShortPathNameW(target.c_str(), s, n); }));
    return !destination.empty();
}

