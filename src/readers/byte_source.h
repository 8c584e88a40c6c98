// Where a reader's bytes come from: a regular file, or memory. A source
// has the length it had when it was opened, and gives bytes only from
// inside it.
#ifndef VANTREL_BYTE_SOURCE_H
#define VANTREL_BYTE_SOURCE_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "regular_file.h"

enum class image_error;

class byte_source {
public:
    // name: the file's name, if the bytes come from one.
    explicit byte_source(uint64_t size, std::string name = {}) : size_(size), name_(std::move(name)) {}
    virtual ~byte_source() = default;
    byte_source(const byte_source&) = delete;
    byte_source& operator=(const byte_source&) = delete;

    uint64_t size() const { return size_; }
    // Only a hint of the format, for one that no signature tells.
    const std::string& name() const { return name_; }

    // Copies the count bytes at offset into dest: image_error::none, or
    // truncated when the source holds fewer (past its length, or a file
    // that has shrunk since), or read_failed when the system failed.
    virtual image_error read(uint64_t offset, size_t count, uint8_t* dest) = 0;

private:
    uint64_t size_;
    std::string name_;
};

class memory_source final : public byte_source {
public:
    explicit memory_source(std::span<const uint8_t> bytes) : byte_source(bytes.size()), bytes_(bytes) {}
    image_error read(uint64_t offset, size_t count, uint8_t* dest) override;

private:
    std::span<const uint8_t> bytes_;
};

class file_source final : public byte_source {
public:
    file_source(file_ptr file, uint64_t size, std::string name)
        : byte_source(size, std::move(name)), file_(std::move(file))
    {
    }
    image_error read(uint64_t offset, size_t count, uint8_t* dest) override;

private:
    file_ptr file_;
    uint64_t position_ = 0;  // where the stream stands, to save a seek
};

// The regular file at path (open_regular_file), or null if it cannot be
// opened as one.
std::unique_ptr<byte_source> open_file_source(const char* path);

#endif
