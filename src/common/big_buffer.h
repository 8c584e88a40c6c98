// Memory for big buffers that are filled front to back: a picture's pixels,
// the writer's text, rows read in blocks.
#ifndef VANTREL_BIG_BUFFER_H
#define VANTREL_BIG_BUFFER_H

#include <cstddef>
#include <cstdlib>
#include <memory>

// On Linux, from 1 MiB up, the buffer is aligned to and marked for
// transparent huge pages, which saves most of the page faults of its first
// touch. Null when there is no memory; release it with std::free.
void* allocate_buffer(size_t bytes);

// Has the system give a buffer from allocate_buffer its pages now, on the
// calling thread, rather than at the first touch of each, on whichever
// thread that is: a thread that fills a big buffer while another waits can
// leave the page faults to the one that waits. Advice only, and without
// touching the memory, so it may run while another thread writes to it.
void prefault_buffer(void* buffer, size_t bytes);

template <class T>
using buffer_ptr = std::unique_ptr<T[], void (*)(void*)>;

// A buffer of count items that frees itself; null when there is no memory.
template <class T>
buffer_ptr<T> make_buffer(size_t count)
{
    return buffer_ptr<T>(count <= SIZE_MAX / sizeof(T) ? static_cast<T*>(allocate_buffer(count * sizeof(T))) : nullptr,
                         &std::free);
}

#endif
