// The image loop of the encoder: stripes, typical prediction and the two-line template, with
// fast paths for runs of uniform bytes that produce exactly the bytes of pixel-by-pixel coding.
#include "jbig/kelvra_compress.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned kTpContext = 0x195; // context of the typical-prediction decision

// True when the len bytes at p are all zero.
bool all_zero(const unsigned char *p, size_t len) {
    for (; len >= 8; p += 8, len -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        if (w) return false;
    }
    for (; len > 0; ++p, --len)
        if (*p) return false;
    return true;
}

// True when the template neighbours above byte j (columns 8j-3 .. 8j+9 of the line above) hold
// only the pixel value of the uniform byte b (0x00 or 0xFF); pixels outside the image are 0.
inline bool above_uniform(const unsigned char *prev, size_t j, size_t bpl, unsigned char b) {
    if (!prev) return b == 0;
    if (prev[j] != b) return false;
    if (j + 1 < bpl) return ((prev[j + 1] ^ b) & 0xC0) == 0;
    return b == 0;
}

// Codes the pixels of one non-typical line. h1 holds the current line and h2 the line above;
// after the registers take in byte k (and byte k + 1 above), each shift brings the next pixel
// to bit 8 of h1 and its ten template neighbours to bits 9-12 of h1 and 14-19 of h2.
// A byte of 8 equal pixels whose 13 neighbours above and 4 to the left share its value has all 8
// pixels in one context (0 or 0x3FF); such bytes, and the run of them that follows, are coded as
// one run.
void code_line(KELVRA_ENCODER &e, QM_REGS &r, const unsigned char *line, const unsigned char *prev,
               size_t bpl) {
    uint32_t h1 = 0;
    uint32_t h2 = prev ? uint32_t{prev[0]} << 8 : 0;
    for (size_t k = 0; k < bpl; ++k) {
        const unsigned char b = line[k];
        h1 |= b;
        if (prev && k + 1 < bpl) h2 |= prev[k + 1];
        if (b == 0x00 || b == 0xFF) {
            const uint32_t want1 = b ? 0xFFFu : 0u;
            const uint32_t want2 = b ? 0x7FFC0u : 0u;
            if ((h1 & 0xFFFu) == want1 && (h2 & 0x7FFC0u) == want2) {
                size_t j = k + 1;
                while (j < bpl && line[j] == b && above_uniform(prev, j, bpl, b))
                    ++j;
                ENCODE_RUN(e, r, b ? 0x3FFu : 0u, b & 1u, static_cast<uint32_t>(8 * (j - k)));
                k = j - 1;
                // The registers as they stand after the last byte of the run.
                h1 = uint32_t{b} << 8;
                h2 = prev ? (uint32_t{prev[k]} << 16) | (k + 1 < bpl ? prev[k + 1] << 8 : 0u) : 0;
                continue;
            }
        }
        for (int i = 0; i < 8; ++i) {
            h1 <<= 1;
            h2 <<= 1;
            ENCODE(e, r, ((h2 >> 10) & 0x3F0u) | ((h1 >> 9) & 0x00Fu), (h1 >> 8) & 1u);
        }
    }
}

// Reports a failure through error.
bool fail(const char **error, const char *message) {
    if (error) *error = message;
    return false;
}

} // namespace

// Codes the image stripe by stripe; see the header.
bool kelvra_compress(uint32_t width, uint32_t height, uint32_t l0, const unsigned char *data,
                     void *data_out_ctx, data_out_cb cb, const char **error,
                     void *(*alloc)(size_t)) {
    if (width == 0) return fail(error, "kelvra_compress: width != 0");
    if (height == 0) return fail(error, "kelvra_compress: height != 0");
    if ((width & 0b0111) != 0) return fail(error, "kelvra_compress: (width & 0b0111) == 0");
    if (data == nullptr) return fail(error, "kelvra_compress: data != NULL");
    if (data_out_ctx == nullptr) return fail(error, "kelvra_compress: data_out_ctx != NULL");
    if (cb == nullptr) return fail(error, "kelvra_compress: cb != NULL");
    if (l0 == 0) return fail(error, "kelvra_compress: l0 != 0");

    const size_t bpl = width / 8;
    KELVRA_ENCODER e;
    arith_init_states(e, alloc);
    bool is_slntp_line_last = false;

    uint32_t y = 0;
    while (y < height) {
        if (!arith_stripe_start(e))
            return fail(error, "kelvra_compress: out of memory for the output chain");
        const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(height, uint64_t{y} + l0));
        QM_REGS r = arith_load(e);
        for (; y < end && !e.nomem; ++y) {
            const unsigned char *line = data + size_t{y} * bpl;
            const unsigned char *prev = y ? line - bpl : nullptr;
            const bool is_slntp_line =
                prev ? std::memcmp(line, prev, bpl) == 0 : all_zero(line, bpl);
            ENCODE(e, r, kTpContext, is_slntp_line == is_slntp_line_last ? 1u : 0u);
            is_slntp_line_last = is_slntp_line;
            if (!is_slntp_line) code_line(e, r, line, prev, bpl);
        }
        arith_save(e, r);
        arith_stripe_end(e);
        if (e.nomem) {
            buff_free(e);
            return fail(error, "kelvra_compress: out of memory for the output chain");
        }
        buff_output(e, cb, data_out_ctx);
        buff_free(e);
    }
    return true;
}
