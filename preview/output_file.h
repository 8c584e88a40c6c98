// output_file: replaces a file only with complete contents.
#ifndef VANTREL_PREVIEW_OUTPUT_FILE_H
#define VANTREL_PREVIEW_OUTPUT_FILE_H

#include <cstdio>
#include <functional>
#include <string>

// Has fill write the contents into a new file beside path, and puts that
// file in path's place once fill has succeeded and the file is flushed and
// closed. If anything fails, including fill (returning false or throwing),
// the new file is removed and whatever was at path stays as it was.
// Returns false if the file could not be created, filled, written or put in
// place; exceptions from fill pass through.
bool replace_file(const std::string& path, const std::function<bool(FILE*)>& fill);

#endif
