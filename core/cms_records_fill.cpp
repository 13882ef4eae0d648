#include "core/cms_records_fill.h"

#include "common/model_catalogue.h"

#include <cstdint>
#include <cstring>

namespace {
// Output depth code of the colour library: 0 = 1 bit, 1 = 2 bits per pixel. A group whose
// library runs at its bit depth follows it; the others print 1 bit at 1200 dpi and 2 bits at
// 600 dpi.
uint8_t OutputBitMode(const JobSettings &job) {
    if (TraitsOf(job.group).libraryByBitDepth) return job.colorBits == 2 ? 1 : 0;
    return job.is1200dpi ? 0 : 1;
}
} // namespace

// The source is the whole print area, one byte per pixel, lines without padding.
void GetCMSinput(CMS_TRANSFER_SRC *srcData, unsigned char *pImgraw,
                 const GDI_START_PAGE_PARAM &startpage) {
    if (srcData == nullptr) return;
    std::memset(srcData, 0, sizeof *srcData);
    srcData->iStructVersion = 0;
    srcData->cbStructSize = sizeof(CMS_TRANSFER_SRC);
    srcData->ColorSrcData = pImgraw;
    srcData->InputDataX = 0;
    srcData->InputDataY = 0;
    srcData->InputDataWidth = startpage.userPrntAreaW;
    srcData->InputDataLineByte = startpage.userPrntAreaW;
    srcData->InputDataHeight = startpage.userPrntAreaH;
    // Up to 65535 x 65535 bytes do not fit the signed 32-bit field: clamp instead of wrapping.
    const uint64_t size = uint64_t{startpage.userPrntAreaW} * startpage.userPrntAreaH;
    srcData->cbSize = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

// A group whose library runs at its bit depth uses fixed tone settings; the others take
// theirs from the options.
void GetCMSSettings(CMS_SETTINGS *settings, const JobSettings &job, const PrintOptions *prntinfo,
                    const GDI_START_PAGE_PARAM &startPageParam) {
    if (settings == nullptr) return;
    std::memset(settings, 0, sizeof *settings);
    settings->iStructVersion = 0;
    settings->cbStructSize = sizeof(CMS_SETTINGS);
    settings->PaperSize = startPageParam.paperSize;
    settings->BitMode = OutputBitMode(job);
    if (TraitsOf(job.group).libraryByBitDepth) {
        settings->DpiMode = job.colorBits == 2 ? 1 : 0;
        settings->TonerSaveMode = 0;
        settings->TonerDensityLevel = 3;
    } else if (prntinfo != nullptr) {
        settings->DpiMode = static_cast<uint8_t>(prntinfo->quality);
        settings->TonerSaveMode = static_cast<uint8_t>(prntinfo->toner);
        settings->TonerDensityLevel = static_cast<uint8_t>(prntinfo->density & 0xFF);
    } else {
        settings->TonerDensityLevel = 3; // the library's middle curve
    }
}

// The destination covers the same area as the source; the library sets the line length.
void GetCMSoutput(CMS_TRANSFER_DST *dstData, const JobSettings &job, unsigned char *pImg,
                  const CMS_TRANSFER_SRC *srcData, int psize) {
    if (dstData == nullptr) return;
    std::memset(dstData, 0, sizeof *dstData);
    dstData->iStructVersion = 0;
    dstData->cbStructSize = sizeof(CMS_TRANSFER_DST);
    dstData->ColorDstData = pImg;
    dstData->cbSize = psize;
    dstData->OutputBitMode = OutputBitMode(job);
    if (srcData != nullptr) {
        dstData->OutputDataX = srcData->InputDataX;
        dstData->OutputDataY = srcData->InputDataY;
        dstData->OutputDataWidth = srcData->InputDataWidth;
        dstData->OutputDataHeight = srcData->InputDataHeight;
    }
}
