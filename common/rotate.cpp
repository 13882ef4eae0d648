// Page turns before halftoning. The 180-degree turn reverses the buffer in place; the 90-degree
// turn builds the turned page in one work buffer of the page's size, walking the page in 64 x 64
// tiles (16 x 16 blocks turned in registers) so that the rows read and written stay in cache,
// and copies it back.
#include "common/rotate.h"

#include "common/page_memory.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kTile = 64;
constexpr size_t kBlock = 16;

// The work buffer of a 90-degree turn: page memory, so that its first touch costs a few huge-page
// faults instead of one fault per 4 KB.
PageMemory WorkBuffer(size_t n) {
    return AllocPageMemory(n);
}

inline uint64_t Load64(const unsigned char *p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline void Store64(unsigned char *p, uint64_t w) {
    std::memcpy(p, &w, 8);
}

// Reverses the n bytes at p in place: 8-byte words swapped end for end, the middle bytewise.
void ReverseInPlace(unsigned char *p, size_t n) {
    size_t i = 0, j = n;
    for (; j - i >= 16; i += 8, j -= 8) {
        const uint64_t lo = Load64(p + i), hi = Load64(p + j - 8);
        Store64(p + i, __builtin_bswap64(hi));
        Store64(p + j - 8, __builtin_bswap64(lo));
    }
    std::reverse(p + i, p + j);
}

// One block of the clockwise turn: output row r, column c = source row h-1-c, column r, for r in
// [r0, r1) and c in [c0, c1).
void TurnBlockScalar(const unsigned char *s, size_t w, size_t h, unsigned char *t, size_t r0,
                     size_t r1, size_t c0, size_t c1) {
    for (size_t c = c0; c < c1; ++c) {
        const unsigned char *srcRow = s + (h - 1 - c) * w;
        for (size_t r = r0; r < r1; ++r)
            t[r * h + c] = srcRow[r];
    }
}

#if defined(__SSE2__)
// The same for a whole 16 x 16 block: 16 source rows loaded, transposed by four rounds of byte
// interleaving (each round rotates the 8-bit row/column index by one bit), 16 output rows stored.
inline void TurnBlock16(const unsigned char *s, size_t w, size_t h, unsigned char *t, size_t r0,
                        size_t c0) {
    __m128i a[16], b[16];
    for (size_t k = 0; k < kBlock; ++k)
        a[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + (h - 1 - c0 - k) * w + r0));
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 8; ++i) {
            b[2 * i] = _mm_unpacklo_epi8(a[i], a[i + 8]);
            b[2 * i + 1] = _mm_unpackhi_epi8(a[i], a[i + 8]);
        }
        std::copy(b, b + 16, a);
    }
    for (size_t j = 0; j < kBlock; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(t + (r0 + j) * h + c0), a[j]);
}
#endif

} // namespace

// Turns the page by 180 degrees: the whole buffer in reverse byte order. Done in place, so no
// work buffer is needed and the turn cannot fail for want of memory.
int Rotate180(unsigned char *imgBuf, uint32_t widthBytes, uint32_t heightPixels) {
    if (heightPixels == 0 || widthBytes == 0 || !imgBuf) return 0;
    ReverseInPlace(imgBuf, static_cast<size_t>(widthBytes) * heightPixels);
    return 1;
}

// Turns the page clockwise: output row r, column c = source row H-1-c, column r; tiles of 64
// output columns (outer) by 64 source columns (inner), the cut tiles at the edges included.
int Rotate90(unsigned char *imgBuf, uint32_t widthBytes, uint32_t heightPixels) {
    if (!imgBuf || widthBytes == 0 || heightPixels == 0) return 0;
    const size_t W = widthBytes, H = heightPixels;
    auto work = WorkBuffer(W * H);
    if (!work) return 0;
    unsigned char *t = work.get();
    for (size_t cb = 0; cb < H; cb += kTile) {
        const size_t ce = std::min(cb + kTile, H);
        for (size_t rb = 0; rb < W; rb += kTile) {
            const size_t re = std::min(rb + kTile, W);
#if defined(__SSE2__)
            // whole 16 x 16 blocks in registers, the rest of a cut tile pixel by pixel
            const size_t cFull = cb + (ce - cb) / kBlock * kBlock;
            const size_t rFull = rb + (re - rb) / kBlock * kBlock;
            for (size_t c = cb; c < cFull; c += kBlock)
                for (size_t r = rb; r < rFull; r += kBlock)
                    TurnBlock16(imgBuf, W, H, t, r, c);
            TurnBlockScalar(imgBuf, W, H, t, rFull, re, cb, ce);
            TurnBlockScalar(imgBuf, W, H, t, rb, rFull, cFull, ce);
#else
            TurnBlockScalar(imgBuf, W, H, t, rb, re, cb, ce);
#endif
        }
    }
    std::memcpy(imgBuf, t, W * H);
    return 1;
}
