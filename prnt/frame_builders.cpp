#include "prnt/frames.h"

#include "common/checksum.h"
#include "common/dialect.h"
#include "prnt/byte_order.h"

#include <cstdint>

namespace {
// Writes the short-frame lead-in (0x0B, length, command) into `p`.
void PutShortHead(uint8_t *p, uint8_t len, uint8_t cmd) {
    p[0] = 0x0B;
    p[1] = len;
    p[2] = cmd;
}

// Closes a short frame of `len` bytes with the checksum over all bytes before it.
void PutShortChecksum(uint8_t *p, int len) {
    p[len - 1] = CalcChecksum(p, len - 1);
}

// Fills a five-byte frame carrying one value byte.
int FillByteFrame(uint8_t *p, uint8_t cmd, uint8_t value) {
    PutShortHead(p, 5, cmd);
    p[3] = value;
    PutShortChecksum(p, 5);
    return 1;
}

// True when the page has the custom paper code of its dialect.
bool IsCustomPaper(const GDI_START_PAGE_PARAM *p, int platform) {
    return (platform == PLATFORM_C && p->paperSize == 255) ||
           (platform == PLATFORM_Z && p->paperSize == 0);
}
} // namespace

uint8_t JobFlagsByte(const GDI_START_DOC_PARAM *p) {
    uint8_t flags = p->watermarkEnable != 0 ? 0x80 : 0;
    flags |= p->DuplexMode;
    flags |= p->saveMode;
    if (p->bookletEnable != 0) flags |= 0x08;
    if (p->posterEnable != 0) flags |= 0x04;
    if (p->nupEnable != 0) flags |= 0x02;
    if (p->overlapEnable != 0) flags |= 0x01;
    return flags;
}

int GetJobSpecCmd_C(const GDI_START_DOC_PARAM *pStartDocParam, GDI_JOB_SPEC_C *pFrame) {
    if (pStartDocParam == nullptr || pFrame == nullptr) return 0;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 6, 0x11);
    p[3] = static_cast<uint8_t>(pStartDocParam->jobID);
    p[4] = JobFlagsByte(pStartDocParam);
    PutShortChecksum(p, 6);
    return 1;
}

int GetJobSpecCmd_Z(const GDI_START_DOC_PARAM *pStartDocParam, GDI_JOB_SPEC_Z *pFrame) {
    if (pStartDocParam == nullptr || pFrame == nullptr) return 0;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 9, 0x11);
    p[3] = JobFlagsByte(pStartDocParam);
    PutLE32(p + 4, static_cast<uint32_t>(pStartDocParam->jobID));
    PutShortChecksum(p, 9);
    return 1;
}

int GetTonerSaveCmd(const GDI_START_DOC_PARAM *pStartDocParam, GDI_TONER_SAVE *pFrame) {
    if (pStartDocParam == nullptr || pFrame == nullptr) return 0;
    return FillByteFrame(pFrame->bytes, 0x19,
                         static_cast<uint8_t>(pStartDocParam->tonerSaveEnable));
}

int GetDensityCmd(const GDI_START_DOC_PARAM *pStartDocParam, GDI_DENSITY_PARAM *pFrame) {
    if (pStartDocParam == nullptr || pFrame == nullptr) return 0;
    return FillByteFrame(pFrame->bytes, 0x15, pStartDocParam->densityLevel);
}

int GetFineModeCmd(const GDI_START_DOC_PARAM *pStartDocParam, GDI_FINEMODE *pFrame) {
    if (pStartDocParam == nullptr || pFrame == nullptr) return 0;
    return FillByteFrame(pFrame->bytes, 0x1F, pStartDocParam->FineMode);
}

int FillSysTimeCmd(const std::tm &when, GDI_SYSTEM_DATE *pFrame) {
    if (pFrame == nullptr) return 0;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 8, 0x1F);
    PutLE16(p + 3, static_cast<uint32_t>(when.tm_year + 1900));
    p[5] = static_cast<uint8_t>(when.tm_mon + 1);
    p[6] = static_cast<uint8_t>(when.tm_mday);
    PutShortChecksum(p, 8);
    return 1;
}

int GetSysTimeCmd(GDI_SYSTEM_DATE *pFrame, std::time_t when) {
    if (pFrame == nullptr) return 0;
    const std::time_t now = when != 0 ? when : std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FillSysTimeCmd(local, pFrame);
}

int GetPageSpecCmd(const GDI_START_PAGE_PARAM *pStartPageParam, GDI_PAGE_SPEC *pFrame, int platform,
                   bool trayOne) {
    if (pStartPageParam == nullptr || pFrame == nullptr) return 0;
    const GDI_START_PAGE_PARAM &sp = *pStartPageParam;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 18, 0x12);
    p[3] = static_cast<uint8_t>(sp.paperSize);
    p[4] = static_cast<uint8_t>(sp.mediaType);
    p[5] = static_cast<uint8_t>(sp.resolutionX);
    p[6] = static_cast<uint8_t>(sp.resolutionY);
    p[7] = trayOne ? 1 : static_cast<uint8_t>(sp.tray);
    p[8] = platform == PLATFORM_Z
               ? 0
               : static_cast<uint8_t>(sp.colorMode | sp.feedEdge | sp.marginUnit);
    PutLE16(p + 9, sp.copies);
    PutLE16(p + 11, sp.marginX);
    PutLE16(p + 13, sp.marginY);
    PutLE16(p + 15, sp.pageNum);
    PutShortChecksum(p, 18);
    return 1;
}

int GetCustomPaperCmd(const GDI_START_PAGE_PARAM *pStartPageParam, GDI_CUSTOM_PAPER *pFrame,
                      int platform) {
    if (pStartPageParam == nullptr || pFrame == nullptr) return 0;
    const GDI_START_PAGE_PARAM &sp = *pStartPageParam;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 12, 0x13);
    const bool custom = IsCustomPaper(pStartPageParam, platform);
    PutLE16(p + 3, custom ? sp.userPhyPgW : 0);
    PutLE16(p + 5, custom ? sp.userPhyPgH : 0);
    PutLE16(p + 7, custom ? sp.userPrntAreaW : 0);
    PutLE16(p + 9, custom ? sp.userPrntAreaH : 0);
    PutShortChecksum(p, 12);
    return 1;
}

int GetRasterImageCmd(const GDI_SEND_PAGE_PARAM *pSendPageParam, GDI_RASTER_IMAGE *pFrame) {
    if (pSendPageParam == nullptr || pFrame == nullptr) return 0;
    const GDI_SEND_PAGE_PARAM &s = *pSendPageParam;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 18, 0x0C);
    p[3] = s.colorPlane;
    p[4] = static_cast<uint8_t>(s.colorDepth | s.dataPacking | s.compression);
    PutLE16(p + 5, s.whlImgW);
    PutLE16(p + 7, s.whlImgH);
    PutLE16(p + 9, s.rasImgW);
    PutLE16(p + 11, static_cast<uint32_t>(s.rasImgH & 0xFFFF));
    PutLE32(p + 13, static_cast<uint32_t>(s.cmpImgBytes));
    PutShortChecksum(p, 18);
    return 1;
}

int GetImageDataChenksumCmd(GDI_IMAGE_DATA_CHECKSUM *pFrame, uint64_t imageChecksum) {
    if (pFrame == nullptr) return 0;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 6, 0x1A);
    PutLE16(p + 3, static_cast<uint32_t>(imageChecksum & 0xFFFF));
    PutShortChecksum(p, 6);
    return 1;
}

int GetCoverageCmd_C(GDI_END_PAGE_PARAM *pEndPageParam, GDI_COVERAGE_C *pFrame,
                     uint64_t imageCoverage) {
    if (pEndPageParam == nullptr || pFrame == nullptr) return 0;
    const GDI_END_PAGE_PARAM &e = *pEndPageParam;
    const float R = e.resolutionE == 1200 ? 0.25f : 1.0f;
    float D = 1.0f;
    if (e.densityE == 0 || e.densityE == 1)
        D = 0.7f;
    else if (e.densityE == 3 || e.densityE == 4)
        D = 1.2f;
    // A width of exactly 125 mm counts with the narrow-paper factor it borders on.
    float W = 1.0f;
    if (e.paperWidthE <= 125)
        W = 2.0f;
    else if (e.paperWidthE <= 174)
        W = 1.5f;
    const float value = W * ((static_cast<float>(imageCoverage) * R) * D) / 1000.0f;
    // Truncate toward zero through a 64-bit integer so that no dot count overflows.
    const auto count = static_cast<uint16_t>(static_cast<uint64_t>(value) & 0xFFFF);
    pEndPageParam->dotCnt = count;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 6, 0x1E);
    PutLE16(p + 3, count);
    PutShortChecksum(p, 6);
    return 1;
}

int GetCoverageCmd_Z(GDI_COVERAGE_Z *pFrame, int page, uint64_t imageCoverage) {
    if (pFrame == nullptr) return 0;
    uint8_t *p = pFrame->bytes;
    PutShortHead(p, 7, 0x19);
    if (page != 0) {
        p[3] = 1;
        p[4] = 0;
        p[5] = 0;
    } else {
        const uint64_t q = imageCoverage / 1000;
        p[3] = static_cast<uint8_t>(q % 64);
        p[4] = static_cast<uint8_t>((q / 64) % 64);
        p[5] = static_cast<uint8_t>((q / 4096) % 16);
    }
    PutShortChecksum(p, 7);
    return 1;
}

void PutCmdHeader(uint8_t *p, uint32_t cmdLen, uint32_t cmdType, uint32_t cmdParamNumber,
                  uint16_t cmdParamNumberLen, uint16_t cmdSignature) {
    PutBE32(p, cmdLen);
    PutBE32(p + 4, cmdType);
    PutBE32(p + 8, cmdParamNumber);
    PutBE16(p + 12, cmdParamNumberLen);
    PutBE16(p + 14, cmdSignature);
}

int SetCmdType(GDI_JOB_SPEC_M *pGdiPageSpec, uint32_t cmdLen, uint32_t cmdType,
               uint32_t cmdParamNumber, uint16_t cmdParamNumberLen, uint16_t cmdSignature) {
    if (pGdiPageSpec == nullptr) return 0;
    PutCmdHeader(pGdiPageSpec->bytes, cmdLen, cmdType, cmdParamNumber, cmdParamNumberLen,
                 cmdSignature);
    return 1;
}

int SetCmdParam(GDI_SET_PARAM *pGdiSetParam, uint16_t ParamCmd, uint8_t ParamType,
                uint32_t cmdParamValue) {
    if (pGdiSetParam == nullptr) return 0;
    uint8_t *p = pGdiSetParam->bytes;
    PutBE32(p, 12);
    PutBE16(p + 4, ParamCmd);
    p[6] = ParamType;
    p[7] = 0;
    PutBE32(p + 8, cmdParamValue);
    return 1;
}
