#include "byte_source.h"

#include <cstdio>
#include <cstring>

#include "image_reader.h"

image_error memory_source::read(uint64_t offset, size_t count, uint8_t* dest)
{
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        return image_error::truncated;
    if (count > 0)
        std::memcpy(dest, bytes_.data() + offset, count);
    return image_error::none;
}

namespace {

// fseek takes a long, which is 32 bits on Windows, and must report every
// position it reaches as one; pixels and image data lie anywhere in a file
// of several GiB. The 64-bit calls take any offset.
bool seek(FILE* f, uint64_t position)
{
    if (position > uint64_t{INT64_MAX})
        return false;
#ifdef _WIN32
    return _fseeki64(f, static_cast<int64_t>(position), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

}  // namespace

image_error file_source::read(uint64_t offset, size_t count, uint8_t* dest)
{
    if (offset > size() || count > size() - offset)
        return image_error::truncated;
    if (count == 0)
        return image_error::none;
    if (offset != position_ && !seek(file_.get(), offset)) {
        position_ = UINT64_MAX;
        return image_error::read_failed;
    }
    const size_t got = std::fread(dest, 1, count, file_.get());
    position_ = offset + got;
    if (got == count)
        return image_error::none;
    const bool failed = std::ferror(file_.get()) != 0;
    std::clearerr(file_.get());
    return failed ? image_error::read_failed : image_error::truncated;
}

std::unique_ptr<byte_source> open_file_source(const char* path)
{
    uint64_t size = 0;
    file_ptr file = open_regular_file(path, size);
    if (!file)
        return nullptr;
    return std::make_unique<file_source>(std::move(file), size, path);
}
