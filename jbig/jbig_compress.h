// The page-data side of the JBIG encoder: the header parameters the page commands carry, and
// the collector that codes one bitmap (a page or a band) into a buffer of the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ErrorText;

// JBIG header parameters as the page-data commands report them. JBIGCompress reads only
// ParamImgWidth, ParamImgHeight and ParamL0; the other fields feed the wire commands.
struct JBIG_BIH {
    uint8_t ParamDl;
    uint8_t ParamD;
    uint8_t ParamP;
    uint8_t ParamReserved;
    uint64_t ParamImgWidth;  // pixels per coded line, a multiple of 8
    uint64_t ParamImgHeight; // lines
    uint64_t ParamL0;        // stripe height in lines
    uint8_t ParamMx;
    uint8_t ParamMy;
    uint8_t ParamOrder;
    uint8_t ParamOption;
};

// Codes the bitmap pKPlaneData (ParamImgHeight lines of ParamImgWidth / 8 bytes, leftmost pixel
// in the most significant bit, 1 = toner) and appends the stripe data (each stripe closed by
// FF 02, no header) to `out`.
//
// Returns 1 on success. Returns 0 for a null bitmap (nothing coded, nothing changed), for
// parameters the encoder rejects (zero or oversized width/height/stripe height, width not a
// multiple of 8) and when memory runs out; in the last two cases a message is put in front of
// `error` and `out` keeps what it held before the call. `alloc` allocates the encoder's
// output nodes (null: std::malloc).
int JBIGCompress(const JBIG_BIH &JbigBih, const unsigned char *pKPlaneData,
                 std::vector<uint8_t> &out, ErrorText &error, void *(*alloc)(size_t) = nullptr);
