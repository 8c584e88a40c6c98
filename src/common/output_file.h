// Output files that appear whole or not at all.
#ifndef VANTREL_OUTPUT_FILE_H
#define VANTREL_OUTPUT_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

// A file written under a temporary name beside its destination and renamed
// over it only once all of it is written, flushed and closed. Until then
// whatever stood at the path stays as it was, and a failure, an exception
// or an interrupting signal removes the temporary file. Several may be
// written at once (the files of one form): the signal handler knows every
// temporary file there is.
class output_file {
public:
    // A text stream (CR LF line ends on Windows) without a buffer of its
    // own, for writers that hand it whole buffers; or a buffered binary one.
    enum kind { text, binary };

    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file() { discard(); }

    // Prepares to write the file that path names. A symbolic link to a
    // regular file is followed, so that the link stays. Fails, creating
    // nothing, if path leads to anything but a regular file or nothing (a
    // device, a FIFO, a directory), or if the temporary file cannot be
    // created.
    bool open(const std::string& path, kind how = text);

    FILE* stream() const { return stream_; }

    // The bytes written so far, all of which have reached the file.
    uint64_t size() const;

    // Cuts the file back to its first size bytes, forgetting any write that
    // failed after them.
    bool truncate(uint64_t size);

    // Closes the temporary file; false if any write to it failed. It stays
    // until it is placed or discarded.
    bool close();

    // Renames the closed file over its destination, or to path beside it
    // (a file named by its content); false if that failed, and the
    // temporary file is gone either way.
    bool place();
    bool place_at(const std::string& path);

    // As place, but a destination that already holds the very same bytes is
    // left as it is, its time included, so that nothing built from it is
    // built again.
    bool place_unless_same();

    // close and place.
    bool commit() { return close() && place(); }

    // Closes and removes the temporary file; what stood at the path stays.
    void discard();

    // What stands where the file goes: whether anything does, its device and
    // file number, and its permissions (POSIX).
    struct existing {
        bool found = false;
        uint64_t device = 0, file = 0;
        unsigned mode = 0;
    };

private:
    void forget();

    std::string destination_, temporary_;
    FILE* stream_ = nullptr;
    int slot_ = -1;  // the signal handler's record of the temporary file
    existing replaced_;
};

// Makes SIGINT, SIGTERM, SIGHUP and SIGPIPE (Ctrl-C, Ctrl-Break and closing
// the console on Windows) remove every temporary file being written before
// the process ends as the signal would have ended it. A full disk or a
// file-size limit is reported as a failed write rather than by SIGXFSZ.
void remove_output_on_signals();

#endif
