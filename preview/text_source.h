// text_source: a file's lines, read in big blocks.
#ifndef VANTREL_PREVIEW_TEXT_SOURCE_H
#define VANTREL_PREVIEW_TEXT_SOURCE_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "regular_file.h"

class text_source {
public:
    // The longest line handed out. A row of the widest picture is under
    // 800 KB, so a longer line is not one the converter wrote.
    static constexpr size_t max_line = size_t{4} << 20;

    // Opens a regular file; false if that fails (a directory, a device or a
    // pipe does not count as one: any of them could hang the reader or feed
    // it without end).
    bool open(const std::string& path);

    // Reads file, which holds size bytes from where it stands: a file
    // opened otherwise, or one in memory (fmemopen), as the fuzz target
    // feeds the parser.
    void open(file_ptr file, uint64_t size);

    // The next complete line, its end (LF or CR LF) removed. False at the
    // end of the file, when the text left has no line end, when a line is
    // longer than max_line, when its end is not the first line's
    // (mixed_line_ends), or when reading fails (read_failed).
    bool next_line(std::string_view& line);

    // Number of the line last handed out, from 1.
    uint64_t line_number() const { return line_number_; }

    // Bytes after the last line handed out, by the file's length when it
    // was opened.
    uint64_t bytes_left() const { return size_ > consumed_ ? size_ - consumed_ : 0; }

    // True once every byte has been read and handed out in lines.
    bool finished() const { return at_end_ && !read_failed_ && begin_ == end_; }

    bool read_failed() const { return read_failed_; }
    bool line_too_long() const { return too_long_; }
    bool mixed_line_ends() const { return mixed_; }

private:
    bool fill();

    file_ptr file_{nullptr, &std::fclose};
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0, begin_ = 0, end_ = 0;
    uint64_t size_ = 0, consumed_ = 0, line_number_ = 0;
    bool at_end_ = false, read_failed_ = false, too_long_ = false, mixed_ = false;
    int crlf_ = -1;  // whether lines end in CR LF, once the first line tells
};

#endif
