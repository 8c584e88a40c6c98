// Opening input files that are regular files and nothing else.
#ifndef VANTREL_REGULAR_FILE_H
#define VANTREL_REGULAR_FILE_H

#include <cstdint>
#include <cstdio>

// Opens path for reading, without a stream buffer, if what it names is a
// regular file, and gives the file's length; nullptr otherwise.
FILE* open_regular_file(const char* path, uint64_t& size);

#endif
