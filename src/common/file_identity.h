// Whether two paths name one file, however they reach it: through symbolic
// links, "." and "..", hard links, and on Windows, whose names ignore case,
// in any case. A run checks every file it will write against every file it
// reads and every other file it writes with these, before it starts.
#ifndef VANTREL_FILE_IDENTITY_H
#define VANTREL_FILE_IDENTITY_H

#include <cstdint>
#include <string>

struct file_key {
    // Where the file is, or would be created: its folder's identity and its
    // name there (in lower case on Windows), or, where the folder cannot be
    // found, the absolute path without "." and "..".
    uint64_t folder_device = 0, folder_file = 0;
    std::string name;
    // The file's own identity, when it exists: two names of one file
    // (a hard link) are one file too.
    bool exists = false;
    uint64_t device = 0, file = 0;
};

// The key of the file path names, following symbolic links to it.
file_key key_of(const std::string& path);

bool same_file(const file_key& a, const file_key& b);

// The device and file number of what path names, following links.
bool file_identity(const char* path, uint64_t& device, uint64_t& file);

#ifndef _WIN32
// Where a symbolic link at path leads, relative to the link's folder; path
// itself when it is no link.
std::string follow_links(std::string path);
#endif

#endif
