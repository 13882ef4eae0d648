// Page data: the page bitmap compressed with the JBIG encoder and framed for the dialect
// (one image on platform C, bands of 256 lines behind 48-byte band frames on platform Z,
// packages of at most 65536 bytes between a parameter block and an end block on M).
#pragma once

#include "jbig/jbig_compress.h"
#include "prnt/prnt.h"
#include "prnt/prnt_params.h"

#include <cstdint>
#include <vector>

// Platform M JBIG_PARAM_CMD block (36 bytes, big-endian).
struct GDI_SET_JBIG_PARAM {
    uint8_t bytes[36];
};

constexpr int kBandFrameSize = 48;        // platform Z band frame
constexpr int kBandLines = 256;           // lines per band on platform Z
constexpr int kPackageSize = 65536;       // data bytes of a full platform M package
constexpr unsigned kUelCmdCByteSum = 670; // the nine bytes of UEL_CMD_C, added to checksums

// Fills the JBIG parameter block from the header parameters. Its XD is the coded width
// divided by `widthDivisor` (the QV models code each pixel's bits as that many pixels).
int SetJBIGCmdAndParam(GDI_SET_JBIG_PARAM *pJBIGCmdAndParam, JBIG_BIH JbigBih, uint32_t cmdLen,
                       uint32_t cmdType, uint16_t cmdSignature, int widthDivisor = 1);

// Compresses the page into stream.coded (replacing its contents): the whole page as one image
// on platforms C and M, bands of 256 lines with their band frames on platform Z. Sets the
// stream's image checksum from the last image coded. Returns the number of bytes placed in
// stream.coded, or -1 when the encoder failed (its message then stands in the error text).
int64_t OutputJbigkitCompression(PrntStream &stream, const GDI_SEND_PAGE_PARAM &sendPage,
                                 JBIG_BIH &JbigBih);

// Sends a coded platform M page: the JBIG parameter block, the coded bytes in packages of
// at most 65536 bytes, each behind its JBIG_DATA_CMD header, and the JBIG end block.
int SendJbigPackagesM(PrntStream &stream, const JBIG_BIH &bih, const std::vector<uint8_t> &coded);

// The JBIG header of a page record: its width (in pixels of one bit each) and height; the
// dialect adds the stripe height and coding options.
JBIG_BIH PageImageHeader(const PrntStream &s, const GDI_SEND_PAGE_PARAM &sp);

// Codes the page into stream.coded; the coded size, or -1 with the failure in front of the
// error text.
int64_t CodePage(PrntStream &s, const GDI_SEND_PAGE_PARAM &sp, JBIG_BIH &bih);

// Image checksum of coded bytes: their sum plus the bytes of UEL_CMD_C, modulo 256.
uint64_t ImageChecksum(const uint8_t *data, std::size_t len);
