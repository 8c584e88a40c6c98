// libFuzzer targets for the readers, built from this one source. Without
// VANTREL_FUZZ_OPEN: what a run does with one input, of any format: the
// picture loaded from memory the way a run loads a file (the reader chosen
// by content, the same thread for a big picture), then make_data into a
// stream. With VANTREL_FUZZ_OPEN naming one reader (open_bmp, open_png,
// ...): the input handed straight to it, so that the whole run goes to that
// format rather than being shared among all by detection; every row is
// read and converted and finish() called, as a run does. The fuzz build
// lowers the first read, the block size, the size from which a picture is
// decoded on a thread of its own and the text buffer, so that small inputs
// reach block reads, that thread and the writer's thread. Built with
// -fsanitize=fuzzer,address,undefined, so a read or write outside a
// buffer, undefined arithmetic or a leak stops the run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "reader_limits.h"
#include "row_converter.h"
#ifndef VANTREL_FUZZ_OPEN
#include "converter.h"
#include "pipeline.h"
#endif

namespace {

// The options come from the input's length, not its bytes, so that every
// seed is read as the whole file it is. Every other input is composited
// over a mid-grey background, so that alpha is too; a budget of 1 MiB lets
// interlaced pictures of a few hundred thousand pixels pass, one of 4 KiB
// makes small ones run out halfway through their data.
read_options options_for(size_t size)
{
    read_options options;
    if (size & 1)
        options = {true, {128, 128, 128}};
    options.source_ycbcr = (size & 2) != 0;
    options.all_frames = (size & 4) != 0;
    options.memory_limit = size & 8 ? uint64_t{4} << 10 : uint64_t{1} << 20;
    return options;
}

#ifdef VANTREL_FUZZ_OPEN
// The BMP, QOI and TGA readers take no limits: they hold a few rows.
template <typename Open>
auto open(Open reader, byte_source& source, std::vector<uint8_t> head, image_error& error, const read_limits& limits)
{
    if constexpr (std::is_invocable_v<Open, byte_source&, std::vector<uint8_t>, image_error&, const read_limits&>)
        return reader(source, std::move(head), error, limits);
    else
        return reader(source, std::move(head), error);
}
#else
FILE* sink = nullptr;
#endif

}  // namespace

#ifdef VANTREL_FUZZ_OPEN
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const read_options options = options_for(size);
    memory_source source(std::span(data, size));
    memory_budget budget(options.memory_limit);
    image_error error = image_error::none;
    // As open_image: the head of the file, all of a small one, and memory
    // running out a failure like any other.
    try {
        std::vector<uint8_t> head(data, data + std::min<uint64_t>(size, first_read_bytes));
        const auto reader = open(&VANTREL_FUZZ_OPEN, source, std::move(head), error,
                                 {&budget, nullptr, options.source_ycbcr, options.all_frames});
        if ((reader == nullptr) == (error == image_error::none))
            std::abort();  // a reader must come with success and only with it
        if (!reader)
            return 0;
        const auto width = uint32_t(reader->width()), height = uint32_t(reader->height());
        const row_converter converter(reader->samples(), width, options, uint64_t{width} * height);
        std::vector<uint8_t> samples(reader->row_bytes());
        std::vector<uint32_t> words(width);
        bool whole = true;
        for (uint64_t t = 0; whole && t < uint64_t{height} * reader->frames(); ++t)
            whole = reader->next_row(samples.data()) == image_error::none &&
                    converter.convert(samples.data(), words.data());
        if (whole)
            reader->finish();
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
#else
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // make_data's progress lines would flood the fuzzer's own output.
    if (!std::freopen("/dev/null", "w", stdout) || !(sink = std::fopen("/dev/null", "w")))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    image_format format = image_format::bmp;
    image_error error = image_error::none;
    const auto picture = loaded_picture::load(std::make_unique<memory_source>(std::span(data, size)),
                                              options_for(size), format, error);
    if ((picture == nullptr) == (error == image_error::none))
        std::abort();  // a record must come with success and only with it
    if (picture) {
        std::string name = "fuzz.h";
        const bool written =
            make_data(sink, name, {picture->width(), picture->height(), [&](int32_t t) { return picture->row(t); }});
        // Only a picture read while it is written can fail now (/dev/null
        // takes every write), and then it says why.
        if (!written && picture->error() == image_error::none)
            std::abort();
    }
    return 0;
}
#endif
