#include "prnt/page_data.h"

#include "common/checksum.h"
#include "common/last_error.h"
#include "prnt/byte_order.h"
#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt/send_step.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {
// Bits per pixel the QV and Mirodel models code as that many 1-bit pixels (their width is
// given in pixels); the other models' width is already doubled for 2-bit pages.
uint64_t PixelGroup(const JobSettings &job) {
    return IsLibraryGroup(job) ? static_cast<uint64_t>(job.colorBits) : 1;
}

// Codes `bih` lines of the bitmap at `data`, appends the coded bytes to `out` and sets the
// stream's image checksum. Returns the number of coded bytes or -1.
int64_t CodeImage(PrntStream &s, const JBIG_BIH &bih, const uint8_t *data,
                  std::vector<uint8_t> &out) {
    const std::size_t before = out.size();
    if (JBIGCompress(bih, data, out, s.error) != 1) return -1;
    const std::size_t len = out.size() - before;
    s.imageChecksum = ImageChecksum(out.data() + before, len);
    return static_cast<int64_t>(len);
}

// Writes bytes 0-22 of a platform Z band frame (header and JBIG parameters).
void PutBandFrameHead(uint8_t *f, const JBIG_BIH &bih, uint32_t bandLines, uint64_t group) {
    const uint64_t xd = group > 0 ? bih.ParamImgWidth / group : bih.ParamImgWidth;
    f[0] = 0x0B;
    f[1] = kBandFrameSize;
    f[2] = 0x1A;
    f[3] = bih.ParamDl;
    f[4] = bih.ParamD;
    f[5] = bih.ParamP;
    f[6] = 0;
    PutLE32(f + 7, static_cast<uint32_t>(xd));
    PutLE32(f + 11, bandLines);
    PutLE32(f + 15, bandLines);
    f[19] = bih.ParamMx;
    f[20] = bih.ParamMy;
    f[21] = bih.ParamOrder;
    f[22] = bih.ParamOption;
}

// Writes bytes 23-47 of a band frame: the band information and the frame checksum.
void PutBandFrameTail(uint8_t *f, uint32_t codedSize, uint32_t posVert) {
    PutLE32(f + 23, codedSize);
    PutLE32(f + 27, codedSize);
    PutLE32(f + 31, 0);
    PutLE32(f + 35, posVert);
    PutLE32(f + 39, 3);
    PutLE32(f + 43, 0);
    f[47] = CalcChecksum(f, kBandFrameSize - 1);
}

// Platform Z: bands of 256 lines, each a JBIG image of its own behind its band frame.
int64_t CompressBands(PrntStream &s, const GDI_SEND_PAGE_PARAM *sp, JBIG_BIH *bih) {
    std::vector<uint8_t> &out = s.coded;
    const uint64_t bytesPerLine = bih->ParamImgWidth / 8;
    const uint64_t height = sp->whlImgH;
    for (uint64_t first = 0; first < height; first += kBandLines) {
        const auto lines = static_cast<uint32_t>(std::min<uint64_t>(kBandLines, height - first));
        bih->ParamImgHeight = lines;
        bih->ParamL0 = lines;
        const std::size_t frameAt = out.size();
        out.resize(frameAt + kBandFrameSize);
        PutBandFrameHead(out.data() + frameAt, *bih, lines, PixelGroup(s.settings));
        const int64_t coded = CodeImage(s, *bih, sp->sendImgBuf + first * bytesPerLine, out);
        if (coded < 0) return -1;
        PutBandFrameTail(out.data() + frameAt, static_cast<uint32_t>(coded),
                         static_cast<uint32_t>(first));
    }
    return static_cast<int64_t>(out.size());
}

} // namespace

int SendJbigPackagesM(PrntStream &s, const JBIG_BIH &bih, const std::vector<uint8_t> &coded) {
    GDI_SET_JBIG_PARAM param;
    // Only the QV models give XD in pixels; the Mirodel models' XD is the coded width.
    const int divisor = s.settings.group == ModelGroup::QV ? s.settings.colorBits : 1;
    SetJBIGCmdAndParam(&param, bih, 36, JBIG_PARAM_CMD, kCmdSignature, divisor);
    if (!SendFrame(s, param, 1, "Prnt_SendPage() :: send JBIG_PARAM_CMD Fail 0 ==  \n")) return 0;
    for (std::size_t at = 0; at < coded.size(); at += kPackageSize) {
        const std::size_t len = std::min<std::size_t>(kPackageSize, coded.size() - at);
        GDI_JOB_SPEC_M header;
        SetCmdType(&header, static_cast<uint32_t>(16 + len), JBIG_DATA_CMD, 0, 0, kCmdSignature);
        if (!SendFrame(s, header, 1, "Prnt_SendPage() :: send JBIG_DATA_CMD Fail 0 ==  \n"))
            return 0;
        if (!SendStep(s, coded.data() + at, static_cast<int>(len), 1,
                      "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"))
            return 0;
    }
    GDI_JOB_SPEC_M end;
    SetCmdType(&end, 16, JBIG_END_CMD, 0, 0, kCmdSignature);
    if (!SendFrame(s, end, 1, "Prnt_SendPage() :: send JBIG_END_CMD Fail 0 ==  \n")) return 0;
    return 1;
}

uint64_t ImageChecksum(const uint8_t *data, std::size_t len) {
    uint64_t sum = kUelCmdCByteSum;
    for (std::size_t i = 0; i < len; ++i)
        sum += data[i];
    return sum % 256;
}

int SetJBIGCmdAndParam(GDI_SET_JBIG_PARAM *pJBIGCmdAndParam, JBIG_BIH JbigBih, uint32_t cmdLen,
                       uint32_t cmdType, uint16_t cmdSignature, int widthDivisor) {
    if (pJBIGCmdAndParam == nullptr) return 0;
    uint8_t *p = pJBIGCmdAndParam->bytes;
    PutCmdHeader(p, cmdLen, cmdType, 0, 0, cmdSignature);
    const uint64_t xd = widthDivisor > 0
                            ? JbigBih.ParamImgWidth / static_cast<uint64_t>(widthDivisor)
                            : JbigBih.ParamImgWidth;
    p[16] = JbigBih.ParamDl;
    p[17] = JbigBih.ParamD;
    p[18] = JbigBih.ParamP;
    p[19] = JbigBih.ParamReserved;
    PutBE32(p + 20, static_cast<uint32_t>(xd));
    PutBE32(p + 24, static_cast<uint32_t>(JbigBih.ParamImgHeight));
    PutBE32(p + 28, static_cast<uint32_t>(JbigBih.ParamL0));
    p[32] = JbigBih.ParamMx;
    p[33] = JbigBih.ParamMy;
    p[34] = JbigBih.ParamOrder;
    p[35] = JbigBih.ParamOption;
    return 1;
}

int64_t OutputJbigkitCompression(PrntStream &stream, const GDI_SEND_PAGE_PARAM &sendPage,
                                 JBIG_BIH &JbigBih) {
    stream.coded.clear();
    if (sendPage.sendImgBuf == nullptr) return -1;
    if (JbigBih.ParamImgWidth == 0 || JbigBih.ParamImgHeight == 0) {
        stream.error.Prepend("OutputJbigkitCompression() :: empty bitmap\n");
        return -1;
    }
    if (stream.settings.platform == PLATFORM_Z) return CompressBands(stream, &sendPage, &JbigBih);
    return CodeImage(stream, JbigBih, sendPage.sendImgBuf, stream.coded);
}

JBIG_BIH PageImageHeader(const PrntStream &s, const GDI_SEND_PAGE_PARAM &sp) {
    JBIG_BIH bih{};
    bih.ParamP = 1;
    bih.ParamImgWidth = uint64_t{sp.whlImgW} * PixelGroup(s.settings);
    bih.ParamImgHeight = sp.whlImgH;
    return bih;
}

// The whole coded page is built in memory before any of it is sent; a page that could not be
// coded sends nothing.
int64_t CodePage(PrntStream &s, const GDI_SEND_PAGE_PARAM &sp, JBIG_BIH &bih) {
    const int64_t coded = OutputJbigkitCompression(s, sp, bih);
    if (coded < 0 || coded > INT_MAX) {
        s.error.Prepend("Prnt_SendPage() :: JBIG compression Fail .  \n");
        return -1;
    }
    return coded;
}
