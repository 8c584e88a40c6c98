// Memory for big buffers that are filled front to back: the writer's text,
// rows read in blocks, the ring of rows between threads.
#ifndef VANTREL_BIG_BUFFER_H
#define VANTREL_BIG_BUFFER_H

#include <cstddef>
#include <cstdlib>
#include <memory>

// On Linux, from 1 MiB up, the buffer is aligned to and marked for
// transparent huge pages, which saves most of the page faults of its first
// touch. Null when there is no memory; release it with std::free.
void* allocate_buffer(size_t bytes);

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
