// The page-data side of the JBIG encoder: the header parameters the page commands carry, and
// the collector that codes one bitmap (a page or a band) into the global gpCompImgData.
#pragma once

#include <cstddef>
#include <cstdint>

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
// FF 02, no header) to gpCompImgData, adding the count to gJbigCompressDataLen.
//
// Buffer contract: gpCompImgData is either null or a malloc'd block of gCompImgDataCap bytes.
// When the coded data does not fit, the collector grows the block with realloc and updates
// gpCompImgData and gCompImgDataCap, so the caller must release it with free() and must re-read
// gpCompImgData after the call. The caller sets gJbigCompressDataLen to 0 before each bitmap.
//
// Returns 1 on success. Returns 0 for a null bitmap (nothing coded, nothing changed), for
// parameters the encoder rejects (zero or oversized width/height/stripe height, width not a
// multiple of 8) and when memory runs out; in the last two cases a message is put in front of
// prntLastError, and gJbigCompressDataLen counts only the bytes that were stored.
int JBIGCompress(JBIG_BIH JbigBih, const unsigned char *pKPlaneData);

// Output callback of the encoder: appends len bytes to gpCompImgData (growing it as needed).
// file is ignored.
void jbig_data_out(const unsigned char *buffer, size_t len, void *file);

// Reallocator of the collector (std::realloc); tests replace it to exercise the failure path.
extern void *(*jbig_collect_realloc)(void *block, size_t size);
