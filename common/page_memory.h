// Page-sized buffers (grey pages, bitmaps, turn work buffers). Large buffers are anonymous
// mappings aligned to 2 MB that ask the kernel for transparent huge pages, so the first touch of
// a 32 MB grey page costs 16 page faults instead of about 8000; the memory comes back zeroed and
// goes back to the system when the buffer is released, so a long job stays flat.
#pragma once

#include <cstddef>
#include <memory>

// Releases a buffer from AllocPageMemory: unmaps a mapping (mapped != 0) or deletes a small block.
struct PageMemoryDeleter {
    size_t mapped = 0; // length of the mapping, 0 for a heap block
    void operator()(unsigned char *p) const;
};

using PageMemory = std::unique_ptr<unsigned char[], PageMemoryDeleter>;

// Buffers of at least this size are mapped; smaller ones come from the heap.
constexpr size_t kPageMemoryMapMin = size_t{1} << 20;

// A zero-filled buffer of `bytes` bytes (at least one byte), or null when memory runs out.
PageMemory AllocPageMemory(size_t bytes);
