// Page-sized buffers on huge-page-backed anonymous mappings; see page_memory.h.
#include "common/page_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>

#if !defined(__SANITIZE_ADDRESS__)
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUp(size_t n, size_t unit) {
    return (n + unit - 1) / unit * unit;
}

// Maps `len` bytes (a multiple of kHugePage) at a 2 MB boundary: maps one huge page more and
// gives back the unaligned head and tail.
unsigned char *MapAligned(size_t len) {
    void *raw =
        mmap(nullptr, len + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = RoundUp(base, kHugePage);
    if (start > base) munmap(raw, start - base);
    const uintptr_t end = base + len + kHugePage;
    if (end > start + len) munmap(reinterpret_cast<void *>(start + len), end - (start + len));
    auto *p = reinterpret_cast<unsigned char *>(start);
#if defined(MADV_HUGEPAGE)
    madvise(p, len, MADV_HUGEPAGE); // advice only: without huge pages the buffer still works
#endif
    return p;
}

} // namespace
#endif

void PageMemoryDeleter::operator()(unsigned char *p) const {
    if (p == nullptr) return;
    if (mapped)
        munmap(p, mapped);
    else
        delete[] p;
}

// Maps large buffers (heap blocks under AddressSanitizer, so that it keeps checking their
// bounds); small ones are zeroed heap blocks.
PageMemory AllocPageMemory(size_t bytes) {
    if (bytes == 0) bytes = 1;
    if (bytes > SIZE_MAX / 4) return PageMemory(nullptr, PageMemoryDeleter{0}); // no such page
#if !defined(__SANITIZE_ADDRESS__)
    if (bytes >= kPageMemoryMapMin) {
        const size_t len = RoundUp(bytes, kHugePage);
        unsigned char *p = MapAligned(len);
        return PageMemory(p, PageMemoryDeleter{p ? len : 0});
    }
#endif
    return PageMemory(new (std::nothrow) unsigned char[bytes](), PageMemoryDeleter{0});
}
