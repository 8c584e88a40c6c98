// Input files: regular files and nothing else.
#ifndef VANTREL_REGULAR_FILE_H
#define VANTREL_REGULAR_FILE_H

#include <cstdint>
#include <cstdio>
#include <memory>

// An open file, closed when it goes.
using file_ptr = std::unique_ptr<FILE, int (*)(FILE*)>;

// Opens path for reading, without a stream buffer, if what it names is a
// regular file, and gives the file's length; null otherwise.
file_ptr open_regular_file(const char* path, uint64_t& size);

#endif
