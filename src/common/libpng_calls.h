// What both programs give libpng to call: errors reported by longjmp to the
// setjmp of the call that failed, warnings dropped (nothing from the library
// is printed), and memory from malloc with its failure noted in the bool
// that png_get_mem_ptr points to, so that it can be told from a broken file.
// Whoever calls libpng must make every call that can fail from a function
// that holds no object with a destructor, so that a jump skips nothing.
#ifndef VANTREL_LIBPNG_CALLS_H
#define VANTREL_LIBPNG_CALLS_H

#include <png.h>

#include <cstdlib>

namespace libpng_calls {

[[noreturn]] inline void on_error(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

inline void on_warning(png_structp, png_const_charp) {}

inline png_voidp on_malloc(png_structp png, png_alloc_size_t size)
{
    void* memory = std::malloc(size);
    if (memory == nullptr)
        *static_cast<bool*>(png_get_mem_ptr(png)) = true;
    return memory;
}

inline void on_free(png_structp, png_voidp memory)
{
    std::free(memory);
}

}  // namespace libpng_calls

#endif
