// Job start: the universal exit and PJL header, the PJL job settings and the job-level
// binary commands of the job's dialect.
#include "prnt/prnt.h"

#include "common/globals.h"
#include "common/model_groups.h"
#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/pin_print.h"
#include "prnt/send_step.h"
#include "prnt/send_time.h"
#include "prnt/text_cut.h"

#include <cstring>
#include <string>

#include <unistd.h>

namespace {
constexpr char kR18Model[] = "Kelvra R18 Series";
constexpr char kV72Model[] = "Kelvra V20-V22 Series";

// Platform C: clean-up sequence, PJL header, job specification, toner save, density and
// the date; every item is spooled.
int StartDocC(const GDI_START_DOC_PARAM *sd) {
    if (!SendText(UEL_CMD_C, 1, "Prnt_StartDoc() :: send UEL_CMD_C Fail 0 ==  \n")) return 0;
    if (!SendText(abortCmd, 1, "Prnt_StartDoc() :: send abortCmd Fail 0 ==  \n")) return 0;
    if (!SendText(endOfJobCmd, 1, "Prnt_StartDoc() :: send endOfJobCmd Fail 0 ==  \n")) return 0;
    if (!SendText(fwVer, 1, "Prnt_StartDoc() :: send fw Version Fail 0 ==  \n")) return 0;
    Insert00();
    if (!SendText(PJLheader, 1, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n")) return 0;
    if (!SendText(pjlCmd, 1, "Prnt_StartDoc() :: send pjlCmd Fail 0 ==  \n")) return 0;
    Insert00();
    GDI_JOB_SPEC_C jobSpec;
    GetJobSpecCmd_C(sd, &jobSpec);
    if (!SendFrame(jobSpec, 1, "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n")) return 0;
    Insert00();
    GDI_TONER_SAVE tonerSave;
    GetTonerSaveCmd(sd, &tonerSave);
    if (!SendFrame(tonerSave, 1, "Prnt_StartDoc() :: send cmdTonerSave Fail 0 ==  \n")) return 0;
    Insert00();
    GDI_DENSITY_PARAM density;
    GetDensityCmd(sd, &density);
    if (!SendFrame(density, 1, "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n")) return 0;
    GDI_SYSTEM_DATE date;
    GetSysTimeCmd(&date);
    if (!SendFrame(date, 1, "Prnt_StartDoc() :: send cmdSysTime Fail 0 ==  \n")) return 0;
    return 1;
}

// The host name for the JOBOWNER line: cleaned of quotes and control characters and cut
// to kComputerNameSize - 1 bytes at a character boundary.
std::string ComputerName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    std::string name = SanitizePjlText(host);
    if (name.size() > kComputerNameSize - 1) {
        std::size_t len = kComputerNameSize - 1;
        while (len > 0 && (static_cast<unsigned char>(name[len]) & 0xC0) == 0x80)
            --len;
        name.resize(len);
    }
    return name;
}

// Platform Z: PJL job ticket (time, owner or locked-print ticket, blank-page and
// manual-feed settings), then fine mode, job specification, density and engine frame.
int StartDocZ(const GDI_START_DOC_PARAM *sd, char **argv) {
    const bool qv = IsQVModel(gPPDFile);
    const bool mirodel = IsMirodelModel(gPPDFile);
    char pinPrintPJL[kPinPrintPJLSize] = {};
    char blankSuppress[kPinPrintPJLSize] = {};

    if (!SendText(PJLheader, 0, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n")) return 0;
    if (qv || std::strcmp(gPPDFile, kR18Model) == 0) {
        if (!SendText(pjlVersion, 0, "Prnt_StartDoc() :: send pjlVersion Fail 0 ==  \n")) return 0;
    }
    char pjlPostSendTime[kSendTimeSize] = {};
    GetSendTimePJL(pjlPostSendTime);
    const char *timeFail = "Prnt_StartDoc() :: send pjlSendTime Fail 0 ==  \n";
    if (!SendText(pjlPreSendTime, 0, timeFail)) return 0;
    if (!SendText(pjlPostSendTime, 0, timeFail)) return 0;

    if (qv) {
        GetPinPrintPJL(argv, pinPrintPJL, true, sizeof pinPrintPJL);
        if (!SendText(pinPrintPJL, 0, "Prnt_StartDoc() :: send PinPrintPJLcmd Fail 0 ==  \n"))
            return 0;
    } else {
        const char *hostFail = "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n";
        const std::string pjlPostComputerName = ComputerName();
        if (!SendText(pjlPreComputerName, 0, hostFail)) return 0;
        // An empty host name leaves the owner empty rather than failing the job.
        if (!pjlPostComputerName.empty() && !SendText(pjlPostComputerName.c_str(), 0, hostFail))
            return 0;
        if (!SendText(CRLF, 1, hostFail)) return 0;
    }

    if (qv || mirodel) {
        const char *line = nullptr;
        if (BlankSuppressflag == 3)
            line = CMD_PJL_SKIP_BLANK_PAGES_ENABLE;
        else if (BlankSuppressflag == 0 || BlankSuppressflag == 2)
            line = CMD_PJL_SKIP_BLANK_PAGES_DISABLE;
        if (line != nullptr) {
            std::strcpy(blankSuppress, line);
            if (!SendText(blankSuppress, 0,
                          "Prnt_StartDoc() :: send SkipBlankPagesPJLcmd Fail 0 ==  \n"))
                return 0;
        } else {
            Insert00();
        }
    }
    if (qv && IsManDuplex != 0) {
        if (!SendText(CMD_PJL_MANUAL_FEED_ON, 0, "Prnt_StartDoc() :: send pjlPosCmd Fail 0 ==  \n"))
            return 0;
    }
    if (!SendText(pjlCmd, 0, "Prnt_StartDoc() :: send pjlPosCmd Fail 0 ==  \n")) return 0;
    Insert00();
    if (!qv) {
        GDI_FINEMODE fineMode;
        GetFineModeCmd(sd, &fineMode);
        if (!SendFrame(fineMode, 1, "Prnt_StartDoc() :: send cmdFineMode Fail 0 ==  \n")) return 0;
        Insert00();
    }
    GDI_JOB_SPEC_Z jobSpec;
    GetJobSpecCmd_Z(sd, &jobSpec);
    if (!SendFrame(jobSpec, 0, "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n")) return 0;
    Insert00();
    GDI_DENSITY_PARAM density;
    GetDensityCmd(sd, &density);
    if (!SendFrame(density, 0, "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n")) return 0;
    Insert00();
    const char *engineFail = "Prnt_StartDoc() :: send cmdTonerParamR18 Fail 0 ==  \n";
    if (std::strcmp(gPPDFile, kR18Model) == 0) {
        GDI_TONER_PARAM_R74 engine;
        GetTonerParamCmdForR18(sd, &engine);
        if (!SendFrame(engine, 0, engineFail)) return 0;
    }
    if (std::strcmp(gPPDFile, kV72Model) == 0) {
        GDI_TONER_PARAM_V72 engine;
        GetTonerParamCmdForV72(sd, &engine);
        if (!SendFrame(engine, 0, engineFail)) return 0;
    }
    return 1;
}

// Platform M: universal exit, "JZJZ", the engine block and the START_DOC_CMD block with
// its three page-count records; the job-start record is not read.
int StartDocM() {
    if (!SendText(UEL_CMD, 1, "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n")) return 0;
    if (!SendText(pjlJZJZ_R80, 1, "Prnt_StartDoc() :: send pjlJZJZ_R80 Fail 0 ==  \n")) return 0;
    GDI_TONER_PARAM_PLATFORM_M engine;
    GetTonerParamCmdForPlatformM(&engine, 88, TONER_PARAM, 0, 0, kCmdSignature);
    if (!SendFrame(engine, 1, "Prnt_StartDoc() :: send TONER_PARAM Fail 0 ==  \n")) return 0;
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, 52, START_DOC_CMD, 3, 36, kCmdSignature);
    if (!SendFrame(header, 1, "Prnt_StartDoc() :: send START_DOC_CMD Fail 0 ==  \n")) return 0;
    const uint32_t values[3] = {0, 0, 1};
    for (uint16_t id = 0; id < 3; ++id) {
        GDI_SET_PARAM param;
        SetCmdParam(&param, id, 1, values[id]);
        if (!SendFrame(param, 1, "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n"))
            return 0;
    }
    return 1;
}
} // namespace

int Prnt_StartDoc(GDI_START_DOC_PARAM *pStartDocParam, int platform, char **argv) {
    switch (platform) {
    case PLATFORM_C:
        return pStartDocParam != nullptr ? StartDocC(pStartDocParam) : 0;
    case PLATFORM_Z:
        return pStartDocParam != nullptr ? StartDocZ(pStartDocParam, argv) : 0;
    case PLATFORM_M:
        return StartDocM();
    default:
        return 0;
    }
}
