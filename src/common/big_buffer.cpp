#include "big_buffer.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Each first touch of a 4 KiB page costs a page fault: for the writer's
// buffers and the ring the faults can take longer than the work done in
// them. Transparent huge pages take 512 times fewer; they need
// a buffer aligned to 2 MiB and the advice.
void* allocate_buffer(size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr size_t huge_page = size_t{2} << 20;
    if (bytes >= huge_page / 2 && bytes <= SIZE_MAX - huge_page) {
        const size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        void* p = std::aligned_alloc(huge_page, rounded);
        if (p)
            madvise(p, rounded, MADV_HUGEPAGE);  // advice only: the buffer works without it
        return p;
    }
#endif
    return std::malloc(bytes);
}
