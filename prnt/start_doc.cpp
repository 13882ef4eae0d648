// Job start: the universal exit and PJL header, the PJL job settings and the job-level
// binary commands of the job's dialect.
#include "prnt/prnt.h"

#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/pin_print.h"
#include "prnt/send_step.h"
#include "prnt/send_time.h"
#include "prnt/text_cut.h"

#include <cstring>
#include <string>

namespace {

// Platform C: clean-up sequence, PJL header, job specification, toner save, density and
// the date; every item is spooled.
int StartDocC(PrntStream &s, const GDI_START_DOC_PARAM *sd) {
    if (!SendText(s, UEL_CMD_C, 1, "Prnt_StartDoc() :: send UEL_CMD_C Fail 0 ==  \n")) return 0;
    if (!SendText(s, abortCmd, 1, "Prnt_StartDoc() :: send abortCmd Fail 0 ==  \n")) return 0;
    if (!SendText(s, endOfJobCmd, 1, "Prnt_StartDoc() :: send endOfJobCmd Fail 0 ==  \n")) return 0;
    if (!SendText(s, fwVer, 1, "Prnt_StartDoc() :: send fw Version Fail 0 ==  \n")) return 0;
    Insert00(s);
    if (!SendText(s, PJLheader, 1, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n")) return 0;
    if (!SendText(s, pjlCmd, 1, "Prnt_StartDoc() :: send pjlCmd Fail 0 ==  \n")) return 0;
    Insert00(s);
    GDI_JOB_SPEC_C jobSpec;
    GetJobSpecCmd_C(sd, &jobSpec);
    if (!SendFrame(s, jobSpec, 1, "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n")) return 0;
    Insert00(s);
    GDI_TONER_SAVE tonerSave;
    GetTonerSaveCmd(sd, &tonerSave);
    if (!SendFrame(s, tonerSave, 1, "Prnt_StartDoc() :: send cmdTonerSave Fail 0 ==  \n")) return 0;
    Insert00(s);
    GDI_DENSITY_PARAM density;
    GetDensityCmd(sd, &density);
    if (!SendFrame(s, density, 1, "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n")) return 0;
    GDI_SYSTEM_DATE date;
    GetSysTimeCmd(&date, s.settings.identity.time);
    if (!SendFrame(s, date, 1, "Prnt_StartDoc() :: send cmdSysTime Fail 0 ==  \n")) return 0;
    return 1;
}

// The host name for the JOBOWNER line: cleaned of quotes and control characters and cut
// to kComputerNameSize - 1 bytes at a character boundary.
std::string ComputerName(const std::string &host) {
    std::string name = SanitizePjlText(host.c_str());
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
int StartDocZ(PrntStream &s, const GDI_START_DOC_PARAM *sd) {
    const JobSettings &job = s.settings;
    const bool qv = job.group == ModelGroup::QV;
    char pinPrintPJL[kPinPrintPJLSize] = {};
    char blankSuppress[kPinPrintPJLSize] = {};

    if (!SendText(s, PJLheader, 0, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n")) return 0;
    if (qv || job.engine == EngineBlock::R18) {
        if (!SendText(s, pjlVersion, 0, "Prnt_StartDoc() :: send pjlVersion Fail 0 ==  \n"))
            return 0;
    }
    char pjlPostSendTime[kSendTimeSize] = {};
    GetSendTimePJL(pjlPostSendTime, job.identity.time);
    const char *timeFail = "Prnt_StartDoc() :: send pjlSendTime Fail 0 ==  \n";
    if (!SendText(s, pjlPreSendTime, 0, timeFail)) return 0;
    if (!SendText(s, pjlPostSendTime, 0, timeFail)) return 0;

    if (qv) {
        GetPinPrintPJL(job.identity, job.lockedPrint, job.pin.c_str(), pinPrintPJL, true,
                       sizeof pinPrintPJL, s.log);
        if (!SendText(s, pinPrintPJL, 0, "Prnt_StartDoc() :: send PinPrintPJLcmd Fail 0 ==  \n"))
            return 0;
    } else {
        const char *hostFail = "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n";
        const std::string pjlPostComputerName = ComputerName(job.identity.host);
        if (!SendText(s, pjlPreComputerName, 0, hostFail)) return 0;
        // An empty host name leaves the owner empty rather than failing the job.
        if (!pjlPostComputerName.empty() && !SendText(s, pjlPostComputerName.c_str(), 0, hostFail))
            return 0;
        if (!SendText(s, CRLF, 1, hostFail)) return 0;
    }

    if (IsLibraryGroup(job)) {
        const char *line = nullptr;
        if (job.blankSuppress == 3)
            line = CMD_PJL_SKIP_BLANK_PAGES_ENABLE;
        else if (job.blankSuppress == 0 || job.blankSuppress == 2)
            line = CMD_PJL_SKIP_BLANK_PAGES_DISABLE;
        if (line != nullptr) {
            std::strcpy(blankSuppress, line);
            if (!SendText(s, blankSuppress, 0,
                          "Prnt_StartDoc() :: send SkipBlankPagesPJLcmd Fail 0 ==  \n"))
                return 0;
        } else {
            Insert00(s);
        }
    }
    if (qv && s.manualDuplex) {
        if (!SendText(s, CMD_PJL_MANUAL_FEED_ON, 0,
                      "Prnt_StartDoc() :: send pjlPosCmd Fail 0 ==  \n"))
            return 0;
    }
    if (!SendText(s, pjlCmd, 0, "Prnt_StartDoc() :: send pjlPosCmd Fail 0 ==  \n")) return 0;
    Insert00(s);
    if (!qv) {
        GDI_FINEMODE fineMode;
        GetFineModeCmd(sd, &fineMode);
        if (!SendFrame(s, fineMode, 1, "Prnt_StartDoc() :: send cmdFineMode Fail 0 ==  \n"))
            return 0;
        Insert00(s);
    }
    GDI_JOB_SPEC_Z jobSpec;
    GetJobSpecCmd_Z(sd, &jobSpec);
    if (!SendFrame(s, jobSpec, 0, "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n")) return 0;
    Insert00(s);
    GDI_DENSITY_PARAM density;
    GetDensityCmd(sd, &density);
    if (!SendFrame(s, density, 0, "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n")) return 0;
    Insert00(s);
    const char *engineFail = "Prnt_StartDoc() :: send cmdTonerParamR18 Fail 0 ==  \n";
    if (job.engine == EngineBlock::R18) {
        GDI_TONER_PARAM_R74 engine;
        GetTonerParamCmdForR18(sd, &engine);
        if (!SendFrame(s, engine, 0, engineFail)) return 0;
    }
    if (job.engine == EngineBlock::V72) {
        GDI_TONER_PARAM_V72 engine;
        GetTonerParamCmdForV72(sd, &engine);
        if (!SendFrame(s, engine, 0, engineFail)) return 0;
    }
    return 1;
}

// Platform M: universal exit, "JZJZ", the engine block and the START_DOC_CMD block with
// its three page-count records; the job-start record is not read.
int StartDocM(PrntStream &s) {
    if (!SendText(s, UEL_CMD, 1, "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n")) return 0;
    if (!SendText(s, pjlJZJZ_R80, 1, "Prnt_StartDoc() :: send pjlJZJZ_R80 Fail 0 ==  \n")) return 0;
    GDI_TONER_PARAM_PLATFORM_M engine;
    GetTonerParamCmdForPlatformM(&engine, 88, TONER_PARAM, 0, 0, kCmdSignature);
    if (!SendFrame(s, engine, 1, "Prnt_StartDoc() :: send TONER_PARAM Fail 0 ==  \n")) return 0;
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, 52, START_DOC_CMD, 3, 36, kCmdSignature);
    if (!SendFrame(s, header, 1, "Prnt_StartDoc() :: send START_DOC_CMD Fail 0 ==  \n")) return 0;
    const uint32_t values[3] = {0, 0, 1};
    for (uint16_t id = 0; id < 3; ++id) {
        GDI_SET_PARAM param;
        SetCmdParam(&param, id, 1, values[id]);
        if (!SendFrame(s, param, 1, "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n"))
            return 0;
    }
    return 1;
}
} // namespace

int Prnt_StartDoc(PrntStream &stream, const GDI_START_DOC_PARAM &startDoc) {
    switch (stream.settings.platform) {
    case PLATFORM_C:
        return StartDocC(stream, &startDoc);
    case PLATFORM_Z:
        return StartDocZ(stream, &startDoc);
    case PLATFORM_M:
        return StartDocM(stream);
    default:
        return 0;
    }
}
