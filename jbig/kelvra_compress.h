// The system's T.82 (JBIG) encoder: one layer, one plane, two-line template, typical
// prediction, no adaptive template moves, stripes of l0 lines each closed by ESC SDNORM.
// It writes the stripe data only; the header parameters travel in the page commands.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jbig/arith_coder.h"

constexpr uint8_t kJbigOptLrltwo = 0x40; // two-line template
constexpr uint8_t kJbigOptTpbon = 0x08;  // typical prediction of the lowest layer

// Codes the bitmap data (height lines of width / 8 bytes, leftmost pixel in the most significant
// bit, 1 = black) in stripes of l0 lines. After each stripe has been coded, hands its bytes to cb
// in chunks of at most 4096 bytes (cb(chunk, len, data_out_ctx)).
// Returns true on success. Returns false, with a message in *error when error is not null, when
// a precondition fails ("width != 0", "height != 0", "(width & 0b0111) == 0", "data != NULL",
// "data_out_ctx != NULL", "cb != NULL", "l0 != 0"; nothing is coded then) or when memory for the
// output runs out (the stripes handed out before stay handed out; the failing one is not).
// `alloc` allocates the nodes the coded bytes are gathered in (null: std::malloc).
bool kelvra_compress(uint32_t width, uint32_t height, uint32_t l0, const unsigned char *data,
                     void *data_out_ctx, data_out_cb cb, const char **error = nullptr,
                     void *(*alloc)(size_t) = nullptr);
