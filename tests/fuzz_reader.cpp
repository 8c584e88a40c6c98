// libFuzzer target for what a run does with one input: load_bmp on a file,
// then make_data into a stream. The fuzz build lowers the first read, the
// block size, the conversion thread's threshold and the text buffer, so
// that small inputs reach block reads, the conversion thread and the
// writer's thread. Built with -fsanitize=fuzzer,address,undefined, so a read
// or write outside a buffer, undefined arithmetic or a leak stops the run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "main.h"

namespace {

const std::string input_path = "/tmp/vantrel-fuzz-" + std::to_string(getpid()) + ".bmp";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // make_data's progress lines would flood the fuzzer's own output.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* in = std::fopen(input_path.c_str(), "wb");
    if (!in || std::fwrite(data, 1, size, in) != size || std::fclose(in) != 0)
        std::abort();
    bmp_error error = bmp_error::none;
    bmp_image* image = load_bmp(input_path.c_str(), error);
    if ((image == nullptr) != (error != bmp_error::none))
        std::abort();  // a record must come with success and only with it
    if (image) {
        FILE* out = std::fopen("/dev/null", "w");
        std::string name = "fuzz.h";
        // A picture converted while it is written can fail only by a read
        // error, which a file in /tmp does not have.
        if (!out || !make_data(out, name, *image) || decoding_error(*image) != bmp_error::none)
            std::abort();
        std::fclose(out);
    }
    free_bmp(image);
    return 0;
}
