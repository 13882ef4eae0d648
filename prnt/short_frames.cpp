#include "prnt/short_frames.h"

#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/send_step.h"

#include <unistd.h>

// The page start of the short-frame dialects. Every item is spooled with the page.
int StartPageShort(PrntStream &s, const GDI_START_PAGE_PARAM &start, int platform) {
    const GDI_START_PAGE_PARAM *sp = &start;
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

// The raster image frame announces the coded size; the coded page follows it.
int SendRasterImage(PrntStream &s, const GDI_SEND_PAGE_PARAM &sp) {
    GDI_RASTER_IMAGE frame;
    GetRasterImageCmd(&sp, &frame);
    if (!SendFrame(s, frame, 1, "Prnt_SendPage() :: send cmdRasterImage Fail .  \n")) return 0;
    if (!SendStep(s, s.coded.data(), static_cast<int>(s.coded.size()), 1,
                  "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"))
        return 0;
    return 1;
}

// The QV models end the job with the end-of-job text without its final line end.
int EndDocShort(PrntStream &s) {
    if (!SendText(s, resetCmd, 1, "Prnt_EndDoc() :: send resetCmd Fail 0 ==  \n")) return 0;
    const char *eoj = s.settings.group == ModelGroup::QV ? endOfJobCmdR82 : endOfJobCmd;
    if (!SendText(s, eoj, 1, "Prnt_EndDoc() :: send endOfJobCmd Fail 0 ==  \n")) return 0;
    return 1;
}

// Patches the tray of the first page specification frame (0B 12 12) in the first 1024
// bytes of a spool and adjusts the frame's checksum so its bytes still sum to 0.
bool EditMediaSource(int fd, uint16_t mediasource) {
    if (fd < 0) return false;
    unsigned char buf[1024];
    const ssize_t got = pread(fd, buf, sizeof buf, 0);
    if (got <= 0) return false;
    const auto n = static_cast<std::size_t>(got);
    constexpr std::size_t kTrayOffset = 7, kChecksumOffset = 17;
    for (std::size_t i = 0; i + 2 < n; ++i) {
        if (buf[i] != 0x0B || buf[i + 1] != 0x12 || buf[i + 2] != 0x12) continue;
        if (i + kTrayOffset >= n) return false;
        const auto tray = static_cast<unsigned char>(mediasource & 0xFF);
        const unsigned char old = buf[i + kTrayOffset];
        buf[i + kTrayOffset] = tray;
        if (i + kChecksumOffset < n)
            buf[i + kChecksumOffset] =
                static_cast<unsigned char>(buf[i + kChecksumOffset] + old - tray);
        return pwrite(fd, buf, n, 0) == got;
    }
    return false;
}
