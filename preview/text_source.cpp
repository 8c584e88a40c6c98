#include "text_source.h"

#include <algorithm>
#include <cstring>

#include "regular_file.h"

namespace {

constexpr size_t block_size = size_t{4} << 20;

}  // namespace

bool text_source::open(const std::string& path)
{
    uint64_t size = 0;
    file_ptr file = open_regular_file(path.c_str(), size);
    if (!file)
        return false;
    open(std::move(file), size);
    return true;
}

void text_source::open(file_ptr file, uint64_t size)
{
    file_ = std::move(file);
    size_ = size;
    // A small header gets a buffer of its own size, not a block.
    capacity_ = static_cast<size_t>(std::min<uint64_t>(size + 1, block_size + max_line));
    buffer_ = std::make_unique<char[]>(capacity_);
}

// Moves the unread tail to the front and reads as much as fits after it.
bool text_source::fill()
{
    if (at_end_ || !file_)
        return false;
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (end_ == capacity_) {
        too_long_ = true;
        return false;
    }
    const size_t got = std::fread(buffer_.get() + end_, 1, capacity_ - end_, file_.get());
    end_ += got;
    if (got == 0) {
        at_end_ = true;
        read_failed_ = std::ferror(file_.get()) != 0;
        return false;
    }
    return true;
}

bool text_source::next_line(std::string_view& line)
{
    size_t scanned = begin_;
    for (;;) {
        const char* start = buffer_.get() + begin_;
        const auto* lf = static_cast<const char*>(std::memchr(buffer_.get() + scanned, '\n', end_ - scanned));
        if (lf != nullptr) {
            size_t length = static_cast<size_t>(lf - start);
            const size_t taken = length + 1;
            const int crlf = length > 0 && start[length - 1] == '\r';
            if (crlf_ < 0)
                crlf_ = crlf;
            if (crlf != crlf_) {
                mixed_ = true;
                return false;
            }
            length -= static_cast<size_t>(crlf);
            if (length > max_line) {
                too_long_ = true;
                return false;
            }
            line = std::string_view(start, length);
            begin_ += taken;
            consumed_ += taken;
            ++line_number_;
            return true;
        }
        const size_t searched = end_ - begin_;
        if (searched > max_line) {
            too_long_ = true;
            return false;
        }
        if (!fill())
            return false;
        scanned = begin_ + searched;
    }
}
