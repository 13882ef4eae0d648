// Page end, job end and the duplex commands.
#include "prnt/prnt.h"

#include "common/last_error.h"
#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/send_step.h"

namespace {
// Sends a platform M block that is its 16-byte header alone.
bool SendBareBlock(PrntStream &s, uint32_t cmdType, int bCache, const char *failMsg) {
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, 16, cmdType, 0, 0, kCmdSignature);
    return SendFrame(s, header, bCache, failMsg);
}

// Platform C page end: universal exit, image checksum, dot count, form feed and, for
// machine duplex, the duplex frame after odd pages.
int EndPageC(PrntStream &s, GDI_END_PAGE_PARAM *ep) {
    if (!SendText(s, UEL_CMD_C, 1, "Prnt_EndPage() :: send UEL_CMD_C Fail 0 ==  \n")) return 0;
    Insert00(s);
    GDI_IMAGE_DATA_CHECKSUM checksum;
    GetImageDataChenksumCmd(&checksum, s.imageChecksum);
    if (!SendFrame(s, checksum, 1, "Prnt_EndPage() :: send cmdImageDataChenksum Fail 0 ==  \n"))
        return 0;
    Insert00(s);
    GDI_COVERAGE_C coverage;
    GetCoverageCmd_C(ep, &coverage, s.imageCoverage);
    if (!SendFrame(s, coverage, 1, "Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n")) return 0;
    Insert00(s);
    if (!SendText(s, formFeedCmd, 1, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n")) return 0;
    if (ep->bMachDup == 1 && SendMachineDuplexCmd(s, ep->page, 1) == 0) {
        s.error.Prepend("Prnt_EndPage() :: MachineDuplexCmd Fail .\n");
        return 0;
    }
    return 1;
}
} // namespace

int Prnt_EndPage(PrntStream &s, GDI_END_PAGE_PARAM &endPage) {
    switch (s.settings.platform) {
    case PLATFORM_M:
        return SendBareBlock(s, END_PAGE_CMD, 1,
                             "Prnt_EndPage() :: send END_PAGE_CMD Fail 0 ==  \n")
                   ? 1
                   : 0;
    case PLATFORM_C:
        return EndPageC(s, &endPage);
    case PLATFORM_Z:
        Insert00(s);
        return SendText(s, formFeedCmd, 1, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n") ? 1
                                                                                               : 0;
    default:
        return 0;
    }
}

int Prnt_EndDoc(PrntStream &s, const GDI_END_DOC_PARAM &endDoc) {
    const GDI_END_DOC_PARAM *pEndDocParam = &endDoc;
    const int platform = s.settings.platform;
    if (platform == PLATFORM_M) {
        // The job end of platform M is never spooled.
        if (!SendBareBlock(s, END_DOC_CMD, 0, "Prnt_EndDoc() :: send END_DOC_CMD Fail 0 ==  \n"))
            return 0;
        if (!SendText(s, UEL_CMD, 0, "Prnt_EndDoc() :: send UEL_CMD Fail 0 ==  \n")) return 0;
        return 1;
    }
    if (platform != PLATFORM_C && platform != PLATFORM_Z) return 0;
    if (platform == PLATFORM_C) {
        if (pEndDocParam->bMachDup == 1 && SendMachineDuplexCmd(s, pEndDocParam->page, 1) == 0) {
            s.error.Prepend("Prnt_EndDoc() :: MachineDuplexCmd Fail .\n");
            return 0;
        }
        Insert00(s);
        if (!SendText(s, queryStatusCmd, 1, "Prnt_EndDoc() :: send queryStatusCmd Fail 0 ==  \n"))
            return 0;
        Insert00(s);
    }
    if (!SendText(s, resetCmd, 1, "Prnt_EndDoc() :: send resetCmd Fail 0 ==  \n")) return 0;
    const char *eoj = s.settings.group == ModelGroup::QV ? endOfJobCmdR82 : endOfJobCmd;
    if (!SendText(s, eoj, 1, "Prnt_EndDoc() :: send endOfJobCmd Fail 0 ==  \n")) return 0;
    return 1;
}

int SendMachineDuplexCmd(PrntStream &s, int pageNum, int bEndDoc) {
    const bool odd = pageNum % 2 != 0;
    const bool due = bEndDoc != 0 ? odd : !odd;
    if (!due) return 1;
    Insert00(s);
    return SendText(s, machineDuplexCmd, 1,
                    "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n")
               ? 1
               : 0;
}

int SendManualDuplexCmd(PrntStream &s) {
    switch (s.settings.platform) {
    case PLATFORM_M:
        return SendBareBlock(s, MANUAL_DUPLEX_CMD, 0,
                             "SendManualDuplexCmd() :: send MANUAL_DUPLEX_CMD Fail 0 ==  \n")
                   ? 1
                   : 0;
    case PLATFORM_Z:
        return SendText(s, manualDuplexCmd_Z, 0,
                        "SendManualDuplexCmd() :: send manualDuplexCmd_Z Fail 0 ==  \n")
                   ? 1
                   : 0;
    case PLATFORM_C:
        return SendText(s, manualDuplexCmd_C, 0,
                        "SendManualDuplexCmd() :: send manualDuplexCmd_C Fail 0 ==  \n")
                   ? 1
                   : 0;
    default:
        return 0;
    }
}
