#include "filter/blank_page.h"

#include <cstdio>
#include <memory>
#include <new>

#include "common/globals.h"
#include "common/last_error.h"
#include "common/model_groups.h"
#include "prnt/prnt.h"

namespace {
void Report(const char *what) {
    PrependLastError(what);
    std::fputs(prntLastError, stderr);
}
} // namespace

// Sends page start, an all-white bitmap and page end, numbered after the last real page.
// Failures are reported and the sequence goes on, so the printer always gets a whole page.
void InsertBlankPage(cups_page_header2_t header, GDI_START_PAGE_PARAM *pStartPageParam,
                     int platform) {
    const bool qv = IsQVModel(gPPDFile);
    int pageNum;
    if (qv && iSupportManDuplex) {
        ++g_page;
        gSendDataToDevice = 1;
        pageNum = g_page;
    } else {
        pageNum = g_page + 1;
    }
    pStartPageParam->pageNum = static_cast<uint16_t>(pageNum);

    const size_t width = pStartPageParam->userPrntAreaW;
    const size_t height = pStartPageParam->userPrntAreaH;
    const size_t bytes = ((pStartPageParam->iIs2bit ? 2 * width : width) * height + 7) / 8;
    std::unique_ptr<uint8_t[]> white(new (std::nothrow) uint8_t[bytes ? bytes : 1]());

    if (!Prnt_StartPage(pStartPageParam, platform))
        Report("InsertBlankPage() :: Start page Fail ! \n");

    GDI_SEND_PAGE_PARAM send{};
    send.colorPlane = 0;
    send.compression = 0x20;
    if (qv) {
        send.colorDepth = is1200dpi ? 0 : 1;
        send.dataPacking = 4;
        send.whlImgW = static_cast<uint16_t>(width);
    } else if (IsMirodelModel(gPPDFile) && Color_bit == 2) {
        // As the Mirodel pages themselves: the width in pixels and the 2-bit flags; the sender
        // codes Color_bit bits per pixel, so a doubled width would read past the white page.
        send.colorDepth = 1;
        send.dataPacking = 4;
        send.whlImgW = static_cast<uint16_t>(width);
    } else {
        send.whlImgW = static_cast<uint16_t>(pStartPageParam->iIs2bit == 1 ? 2 * width : width);
    }
    send.whlImgH = static_cast<uint16_t>(height);
    if (platform == PLATFORM_C) {
        send.rasImgW = static_cast<uint16_t>(width);
        send.rasImgH = header.HWResolution[0] == 600 ? 768 : 384;
        send.cmpImgBytes = 853;
    }
    send.sendImgBuf = white.get();
    if (white == nullptr) {
        SetLastError("InsertBlankPage() :: Malloc blank page Fail ! \n");
        Report("InsertBlankPage() :: Send page Fail!\n");
    } else if (!Prnt_SendPage(&send, platform, pageNum)) {
        Report("InsertBlankPage() :: Send page Fail!\n");
    }
    white.reset();

    GDI_END_PAGE_PARAM end{};
    end.page = pageNum;
    if (!Prnt_EndPage(&end, platform)) Report("InsertBlankPage() :: End page Fail ! \n");
}
