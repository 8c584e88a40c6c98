// libFuzzer target for what a run does with one input, BMP or PNG: the
// picture loaded from memory the way a run loads a file (the same reader
// chosen by signature, the same thread for a big picture), then make_data
// into a stream. The fuzz build lowers the first read, the block size, the
// size from which a picture is decoded on a thread of its own and the text
// buffer, so that small inputs reach block reads, that thread and the
// writer's thread. Built with -fsanitize=fuzzer,address,undefined, so a
// read or write outside a buffer, undefined arithmetic or a leak stops the
// run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "converter.h"
#include "pipeline.h"

namespace {

FILE* sink = nullptr;

}  // namespace

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
    // Over a mid-grey background every other time, so that alpha is
    // composited too.
    read_options options;
    if (size % 2 == 1)
        options = {true, {128, 128, 128}};
    // Interlaced pictures of a few hundred thousand pixels pass it.
    options.memory_limit = uint64_t{1} << 20;
    const auto picture =
        loaded_picture::load(std::make_unique<memory_source>(std::span(data, size)), options, format, error);
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
