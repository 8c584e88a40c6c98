// Writes, into the current directory, the bitmaps on which linux_output.cmake
// compares the Windows program's headers with the Linux program's.
#include "test_util.h"

int main()
{
    // Every row padding, header version and row order, with and without a
    // gap before the pixels and the last row's padding.
    const uint32_t info_sizes[] = {40, 52, 56, 108, 124};
    for (int width = 1; width <= 8; ++width) {
        const bmp_spec spec{width, width % 2 ? 3 : -4, info_sizes[width % 5], width % 3 == 0 ? 2u : 0u, width % 4 != 1};
        std::string name = "w";  // not "w" + ...: GCC 12 warns wrongly (-Wrestrict) on that
        name += std::to_string(width) + ".bmp";
        write_file(name, make_bmp(spec));
    }
    // Several megabytes of text: the writer's buffer fills many times.
    write_file("big.bmp", make_bmp({.width = 700, .height = 500}));

    // Names that the identifiers have to mend.
    const bytes small = make_bmp({.width = 2, .height = 2});
    for (const char* name : {"my-icon.bmp", "1.bmp", "int.bmp", "LOGO.BMP", "a", "scan.bitmap"})
        write_file(name, small);
    fs::create_directories("pics/sub");
    write_file("pics/logo.bmp", make_bmp({.width = 5, .height = -3}));
    write_file("pics/sub/2.bmp", small);
    write_file("my_icon.bmp", small);  // the same identifier as my-icon.bmp

    // One file for each error line that a bitmap can cause.
    fs::create_directories("bad");
    bytes cut = make_bmp({.width = 5, .height = 3});
    cut.resize(cut.size() - 5);
    write_file("bad/cut.bmp", cut);
    bytes palette = make_bmp({});
    patch(palette, 28, 8, 2);
    write_file("bad/palette.bmp", palette);
    write_file("bad/signature.bmp", std::string("BA") + std::string(60, 'x'));
    write_file("bad/huge.bmp", make_bmp({.width = 70000, .height = 1}));
    return 0;
}
