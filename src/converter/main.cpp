// Where the program starts, and the only place that decides its exit
// status: 0 after "Done" or the usage line, 1 after any error line.
#include <cstring>
#include <new>

#include "console.h"
#include "converter.h"
#include "output_file.h"

namespace {

bool run(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("Usage: %s file.bmp ...\n", argc > 0 && argv[0] ? argv[0] : "vantrel");
        return true;
    }
    const bool combined = std::strncmp(argv[1], "-a", 2) == 0;
    try {
        if (!(combined ? run_combined(argc - 2, argv + 2) : run_single(argc - 1, argv + 1)))
            return false;
    } catch (const std::bad_alloc&) {
        // The pixel buffer's own failure is reported by the reader; this is
        // the rest (names, read and write buffers) when memory is that tight.
        std::printf("error: out of memory\n");
        return false;
    }
    std::printf("Done\n");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    open_standard_streams();
    remove_output_on_signals();
    return exit_status(run(argc, argv));
}
