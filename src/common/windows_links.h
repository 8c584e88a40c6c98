// Symbolic links on Windows, which the system's own rename replaces rather
// than follows.
#ifndef VANTREL_WINDOWS_LINKS_H
#define VANTREL_WINDOWS_LINKS_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

// The name of the file that path names and h has open: path itself, unless
// path is a symbolic link, whose target is replaced instead so that the
// link stays, by a temporary file beside the target, on its volume. A link
// is known by the system's name for the open file not being path's own
// name in its folder, which holds for the Unix links wine shows as plain
// files too. Fails if the target has no name in the ANSI code page.
bool follow_link(const std::string& path, HANDLE h, std::string& destination);

#endif
