// Page start: announces one page (paper, media, resolution, tray, copies, margins and the
// custom dimensions) before its data. Every item is spooled with the page.
#include "prnt/prnt.h"

#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/send_step.h"

#include <iterator>
#include <string>

namespace {
// Platforms C and Z: page specification, custom paper frame and, on C, the host-use frame.
int StartPageCZ(PrntStream &s, const GDI_START_PAGE_PARAM *sp, int platform) {
    s.imageCoverage = 0; // the halftoning counts the new page's dots from here
    Insert00(s);
    GDI_PAGE_SPEC pageSpec;
    // The QV models feed the first side of a manual duplex sheet from tray 1.
    const bool trayOne = s.settings.group == ModelGroup::QV && s.page % 2 != 0 && s.manualDuplex;
    GetPageSpecCmd(sp, &pageSpec, platform, trayOne);
    if (!SendFrame(s, pageSpec, 1, "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n")) return 0;
    Insert00(s);
    bool sendCustom = true;
    if (s.settings.group == ModelGroup::QV) {
        // The QV models take the custom paper frame for the custom size only.
        if (platform == PLATFORM_C && sp->paperSize != 255) {
            Insert00(s);
            sendCustom = false;
        } else if (platform == PLATFORM_Z && sp->paperSize != 0) {
            Insert00(s);
            return 1;
        }
    }
    if (sendCustom) {
        GDI_CUSTOM_PAPER custom;
        GetCustomPaperCmd(sp, &custom, platform);
        if (!SendFrame(s, custom, 1, "Prnt_StartPage() :: send cmdCustomPaper Fail 0 ==  \n"))
            return 0;
        Insert00(s);
        if (platform == PLATFORM_Z) return 1;
    }
    if (!SendText(s, hostUseCmd, 1, "Prnt_StartPage() :: send hostUseCmd Fail 0 ==  \n")) return 0;
    Insert00(s);
    return 1;
}

struct PageRecord {
    uint16_t id;
    const char *name;
    uint32_t value;
};

// Platform M: the START_PAGE_CMD header and its 14 records (17 for the custom size).
int StartPageM(PrntStream &s, const GDI_START_PAGE_PARAM *sp) {
    const bool custom = sp->paperSize == 0;
    const uint32_t bpp = sp->iIs2bit == 1 ? 2 : 1;
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, custom ? 220 : 184, START_PAGE_CMD, custom ? 17 : 14, custom ? 204 : 168,
               kCmdSignature);
    if (!SendFrame(s, header, 1, "Prnt_StartPage() :: send START_PAGE_CMD Fail 0 ==  \n")) return 0;
    const PageRecord records[] = {
        {PAPER_SIZE_PARAM, "PAPER_SIZE_PARAM", sp->paperSize},
        {CUSTOM_PAPER_UNIT_PARAM, "CUSTOM_PAPER_UNIT_PARAM", 0},
        {CUSTOM_WIDTH_PARAM, "CUSTOM_WIDTH_PARAM", sp->userPhyPgW},
        {CUSTOM_HEIGHT_PARAM, "CUSTOM_HEIGHT_PARAM", sp->userPhyPgH},
        {COPIES_PARAM, "COPIES_PARAM", sp->copies},
        {INPUT_TRAY_PARAM, "INPUT_TRAY_PARAM", sp->tray},
        {MEDIA_TYPE_PARAM, "MEDIA_TYPE_PARAM", sp->mediaType},
        {CHANNEL_NUM_PARAM, "CHANNEL_NUM_PARAM", 1},
        {H_RESOLUTION_PARAM, "H_RESOLUTION_PARAM", sp->resolutionX},
        {V_RESOLUTION_PARAM, "V_RESOLUTION_PARAM", sp->resolutionY},
        {RET_PARAM, "RET_PARAM", 0},
        {IMG_WIDTH_PARAM, "IMG_WIDTH_PARAM", (bpp * sp->userPrntAreaW) & 0xFFFFFF},
        {IMG_HEIGHT_PARAM, "IMG_HEIGHT_PARAM", sp->userPrntAreaH},
        {VIDEO_DEPTH_PARAM, "VIDEO_DEPTH_PARAM", bpp},
        {VIDEO_WIDTH_PARAM, "VIDEO_WIDTH_PARAM", sp->userPrntAreaW},
        {VIDEO_HEIGHT_PARAM, "VIDEO_HEIGHT_PARAM", sp->userPrntAreaH},
        {DENSITY_PARAM, "DENSITY_PARAM", sp->densityLevel},
    };
    for (std::size_t i = 0; i < std::size(records); ++i) {
        if (!custom && i >= 1 && i <= 3) continue; // custom dimensions only for the custom size
        GDI_SET_PARAM param;
        SetCmdParam(&param, records[i].id, 1, records[i].value);
        const std::string msg =
            std::string("Prnt_StartPage() :: send ") + records[i].name + " Fail 0 ==  \n";
        if (!SendFrame(s, param, 1, msg.c_str())) return 0;
    }
    return 1;
}
} // namespace

int Prnt_StartPage(PrntStream &stream, const GDI_START_PAGE_PARAM &startPage) {
    const int platform = stream.settings.platform;
    switch (platform) {
    case PLATFORM_C:
    case PLATFORM_Z:
        return StartPageCZ(stream, &startPage, platform);
    case PLATFORM_M:
        return StartPageM(stream, &startPage);
    default:
        return 0;
    }
}
