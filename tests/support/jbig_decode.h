// JBIG test helpers built on JBIG-KIT (libjbig): wrap headerless stripe data in a bi-level
// image header, decode it with libjbig's full T.82 decoder, code a bitmap with libjbig's own
// single-layer encoder, and cut stripe data at its ESC SDNORM markers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The 20-byte bi-level image header (DL 0, D 0, P 1, XD, YD, L0, MX 0, MY 0), big-endian.
Bytes JbigMakeBih(uint32_t xd, uint32_t yd, uint32_t l0, uint8_t options, uint8_t order = 0);

// Decodes header + stripe data with jbg_dec_*. On success fills bitmap (yd lines of xd / 8
// bytes, 1 = black) and returns true; else returns false with a reason in error. Trailing bytes
// after the last stripe count as an error.
bool JbigDecodeStripes(const Bytes &stripes, uint32_t xd, uint32_t yd, uint32_t l0, uint8_t options,
                       Bytes &bitmap, std::string &error, uint8_t order = 0);

// Codes the bitmap with jbg85_enc_* (TPBON | LRLTWO, no AT moves, stripes of l0 lines) and
// returns the stripe data without the 20-byte header.
Bytes Jbg85EncodeStripes(const uint8_t *bitmap, uint32_t xd, uint32_t yd, uint32_t l0);

// Output callback of the system's encoder (kelvra_compress): appends each chunk to the Bytes
// that `bytes` points at.
void AppendToBytes(const unsigned char *chunk, size_t len, void *bytes);

// Splits stripe data into stripes, each including its closing FF 02. Bytes after the last
// marker (none in well-formed data) end up in a final element without a marker.
std::vector<Bytes> JbigSplitStripes(const Bytes &data);

// Applies the encoder's end-of-stripe rule to a stripe (with its FF 02): drops the 0x00 bytes
// in front of the marker, and puts one back when a 0xFF is then last (its stuffing byte).
Bytes JbigTrimTrailingZeros(const Bytes &stripe);
