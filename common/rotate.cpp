// Page turns before halftoning. Each turn builds the turned page in one work buffer of the page's
// size and copies it back; the 90-degree turn walks the page in 64 x 64 tiles so that both the
// rows read and the rows written stay in cache.
#include "common/rotate.h"

#include "common/last_error.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t kTile = 64;

std::unique_ptr<unsigned char[]> WorkBuffer(size_t n) {
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[n]);
}

// dst = src with its n bytes in reverse order.
void ReverseCopy(unsigned char *dst, const unsigned char *src, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, src + i, 8);
        w = __builtin_bswap64(w);
        std::memcpy(dst + n - i - 8, &w, 8);
    }
    for (; i < n; ++i)
        dst[n - 1 - i] = src[i];
}

} // namespace

// Turns the page by 180 degrees: the whole buffer in reverse byte order.
int Rotate180(unsigned char *imgBuf, uint32_t widthBytes, uint32_t heightPixels) {
    if (heightPixels == 0 || widthBytes == 0 || !imgBuf) return 0;
    const size_t n = static_cast<size_t>(widthBytes) * heightPixels;
    auto work = WorkBuffer(n);
    if (!work) {
        PrependLastError("Rotate180() :: malloc memory Fail. \n");
        return 0;
    }
    ReverseCopy(work.get(), imgBuf, n);
    std::memcpy(imgBuf, work.get(), n);
    return 1;
}

// Turns the page clockwise: output row r, column c = source row H-1-c, column r; tiles of 64
// output columns (outer) by 64 source columns (inner).
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
            for (size_t c = cb; c < ce; ++c) {
                const unsigned char *srcRow = imgBuf + (H - 1 - c) * W;
                for (size_t r = rb; r < re; ++r)
                    t[r * H + c] = srcRow[r];
            }
        }
    }
    std::memcpy(imgBuf, t, W * H);
    return 1;
}
