#include "output_set.h"

#include <cerrno>
#include <cstdio>
#include <set>

#include "console.h"
#include "paths.h"
#include "text_sink.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

// Held while a form's files are put in place, by every run that puts files
// in the folder: another run's word files are then never in place without
// the source that names them, and its header never beside another run's
// source. Where no lock can be had, the files are put in place all the same.
class folder_lock {
public:
    explicit folder_lock(const std::string& file)
    {
        const size_t start = name_start(file);
        const std::string folder = start == 0 ? "." : file.substr(0, start);
#ifdef _WIN32
        // A mutex named after the folder, which every process of the session sees.
        std::error_code failed;
        std::string key = std::filesystem::absolute(folder, failed).lexically_normal().generic_string();
        uint64_t h = 0xcbf29ce484222325;
        for (const char c : key)
            h = (h ^ uint8_t(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c)) * 0x100000001b3;
        char name[64];
        std::snprintf(name, sizeof name, "Local\\vantrel-%016llx", static_cast<unsigned long long>(h));
        held_ = CreateMutexA(nullptr, FALSE, name);
        if (held_ && WaitForSingleObject(held_, INFINITE) == WAIT_FAILED) {
            CloseHandle(held_);
            held_ = nullptr;
        }
#else
        held_ = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC);
        while (held_ >= 0 && flock(held_, LOCK_EX) != 0 && errno == EINTR) {
        }
#endif
    }
    ~folder_lock()
    {
#ifdef _WIN32
        if (held_) {
            ReleaseMutex(held_);
            CloseHandle(held_);
        }
#else
        if (held_ >= 0)
            ::close(held_);  // which releases the lock
#endif
    }
    folder_lock(const folder_lock&) = delete;
    folder_lock& operator=(const folder_lock&) = delete;

private:
#ifdef _WIN32
    HANDLE held_ = nullptr;
#else
    int held_ = -1;
#endif
};

bool hex_digits(std::string_view s)
{
    return s.size() == 16 && s.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The hashes of the word files the source at path names (hashed), and
// whether it names them by their stem alone, as earlier versions did
// (plain). A source that cannot be read names none.
void named_words(const std::string& path, std::set<std::string>& hashed, bool& plain)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return;
    std::string text;
    char block[4096];
    for (size_t n = 0; (n = std::fread(block, 1, sizeof block, f)) > 0 && text.size() < (size_t{16} << 20);)
        text.append(block, n);
    std::fclose(f);
    // Each image's line: VANTREL_WORDS("<stem>.<hash>", <offset>, <bytes>)
    constexpr std::string_view call = "VANTREL_WORDS(\"";
    for (size_t at = text.find(call); at != std::string::npos; at = text.find(call, at + 1)) {
        const size_t end = text.find("\", ", at + call.size());
        if (end == std::string::npos)
            break;
        const std::string_view stem(text.data() + at + call.size(), end - at - call.size());
        if (stem.size() > 17 && stem[stem.size() - 17] == '.' && hex_digits(stem.substr(stem.size() - 16)))
            hashed.insert(std::string(stem.substr(stem.size() - 16)));
        else
            plain = true;
    }
}

}  // namespace

output_set::~output_set() = default;

std::string output_set::open()
{
    if (!header_.open(names_.header))
        return names_.header;
    if (form_ == data_form::header)
        return "";
    if (!source_.open(names_.source))
        return names_.source;
    if (form_ == data_form::assembler) {
        // Named for now as the files they become less their hash, which is
        // known only once every word is.
        if (!little_.open(names_.stem + ".le.bin", output_file::binary))
            return names_.stem + ".le.bin";
        if (!big_.open(names_.stem + ".be.bin", output_file::binary))
            return names_.stem + ".be.bin";
    }
    return "";
}

FILE* output_set::definitions() const
{
    return form_ == data_form::header ? header_.stream() : form_ == data_form::split ? source_.stream() : nullptr;
}

const std::string& output_set::definitions_path() const
{
    return form_ == data_form::header ? names_.header : form_ == data_form::split ? names_.source : names_.stem;
}

word_files& output_set::words(uint64_t expected)
{
    little_sink_ = std::make_unique<text_sink>(little_.stream(), expected);
    big_sink_ = std::make_unique<text_sink>(big_.stream(), expected);
    words_.little = little_sink_.get(), words_.big = big_sink_.get();
    return words_;
}

// The word files, complete, under the names their content gives them.
std::string output_set::place_words()
{
    const std::string stem = names_.stem + "." + content_hash(words_);
    progress("Writing %s.le.bin\nWriting %s.be.bin\n", stem.c_str(), stem.c_str());
    if (!(little_sink_->flush() && little_.close() && little_.place_at(stem + ".le.bin")))
        return stem + ".le.bin";
    if (!(big_sink_->flush() && big_.close() && big_.place_at(stem + ".be.bin")))
        return stem + ".be.bin";
    return "";
}

// The assembler form's source, whole: what its data needs from the
// compiler, then each image's, from the word files just placed.
std::string output_set::write_source()
{
    const std::string stem = names_.stem + "." + content_hash(words_);
    const bool written = make_source_prologue(source_.stream(), names_.header, data_form::assembler, note_) &&
                         write_text(source_.stream(), assembler_source(words_, stem));
    return written ? "" : names_.source;
}

std::string output_set::commit(const std::string& declarations)
{
    if (form_ == data_form::header)
        return header_.commit() ? "" : names_.header;
    const folder_lock held(names_.source);
    if (form_ == data_form::assembler) {
        if (std::string failed = place_words(); !failed.empty())
            return failed;
        if (std::string failed = write_source(); !failed.empty())
            return failed;
    }
    if (!(make_declarations_header(header_.stream(), names_.header, declarations, uint32_words_, bytes_) && header_.close() &&
          header_.place_unless_same()))
        return names_.header;
    std::set<std::string> old_words;
    bool old_plain = false;
    if (form_ == data_form::assembler)
        named_words(names_.source, old_words, old_plain);
    if (!(source_.close() && source_.place()))
        return names_.source;
    // The words the replaced source named, unless they are the new ones.
    old_words.erase(content_hash(words_));
    for (const std::string& hash : old_words)
        for (const char* order : {".le.bin", ".be.bin"})
            std::remove((names_.stem + "." + hash + order).c_str());
    if (old_plain)
        for (const char* order : {".le.bin", ".be.bin"})
            std::remove((names_.stem + order).c_str());
    return "";
}

bool output_set::commit_first(uint64_t bytes)
{
    return header_.truncate(bytes) && header_.commit();
}
