// Dialect Z: a PJL job ticket, then short command frames; pages are coded in bands of 256
// lines behind band frames. Two-sided jobs print in manual duplex where the model has it.
#include "prnt/dialect.h"

#include <new>

#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/page_data.h"
#include "prnt/pin_print.h"
#include "prnt/send_step.h"
#include "prnt/send_time.h"
#include "prnt/short_frames.h"
#include "prnt/text_cut.h"

#include <cstring>
#include <string>

namespace {

constexpr DialectRules kRulesZ{.customPaperCode = 0,
                               .resolutionUnit = 10,
                               .prints1200Raster = false,
                               .anyTrayForMediaType1 = false,
                               .longEdgePaper = 11,
                               .twoSided = TwoSided::ByHand,
                               .stripedImage = false,
                               .keepAlive = true};

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

// The blank-page line of the job ticket (QV and Mirodel models), or a separator where the
// job leaves it to the printer.
int SendBlankPageLine(PrntStream &s) {
    const char *line = nullptr;
    switch (s.settings.options.blankPages) {
    case BlankPages::Skip:
        line = CMD_PJL_SKIP_BLANK_PAGES_ENABLE;
        break;
    case BlankPages::Print:
        line = CMD_PJL_SKIP_BLANK_PAGES_DISABLE;
        break;
    case BlankPages::PrinterSetting:
        break;
    }
    if (line == nullptr) {
        Insert00(s);
        return 1;
    }
    char blankSuppress[kPinPrintPJLSize] = {};
    std::strcpy(blankSuppress, line);
    return SendText(s, blankSuppress, 0,
                    "Prnt_StartDoc() :: send SkipBlankPagesPJLcmd Fail 0 ==  \n")
               ? 1
               : 0;
}

class DialectZFrames final : public Dialect {
  public:
    constexpr DialectZFrames() : Dialect(kRulesZ) {}

    // PJL job ticket (time, owner or locked-print ticket, blank-page and manual-feed
    // settings), then fine mode, job specification, density and engine frame.
    int StartDoc(PrntStream &s, const GDI_START_DOC_PARAM &start) const override {
        const GDI_START_DOC_PARAM *sd = &start;
        const JobSettings &job = s.settings;
        const bool qv = job.group == ModelGroup::QV;

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
            char pinPrintPJL[kPinPrintPJLSize] = {};
            GetPinPrintPJL(job.identity, job.lockedPrint, job.pin.c_str(), pinPrintPJL, true,
                           sizeof pinPrintPJL, s.log);
            if (!SendText(s, pinPrintPJL, 0,
                          "Prnt_StartDoc() :: send PinPrintPJLcmd Fail 0 ==  \n"))
                return 0;
        } else {
            const char *hostFail = "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n";
            const std::string pjlPostComputerName = ComputerName(job.identity.host);
            if (!SendText(s, pjlPreComputerName, 0, hostFail)) return 0;
            // An empty host name leaves the owner empty rather than failing the job.
            if (!pjlPostComputerName.empty() &&
                !SendText(s, pjlPostComputerName.c_str(), 0, hostFail))
                return 0;
            if (!SendText(s, CRLF, 1, hostFail)) return 0;
        }

        if (IsLibraryGroup(job) && !SendBlankPageLine(s)) return 0;
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

    // Page specification and custom paper frame.
    int StartPage(PrntStream &s, const GDI_START_PAGE_PARAM &sp) const override {
        return StartPageShort(s, sp, PLATFORM_Z);
    }

    // The page's coverage (a fixed one for an inserted blank page), then the bands.
    int SendPage(PrntStream &s, GDI_SEND_PAGE_PARAM &sp, int blankPage) const override {
        JBIG_BIH bih = PageImageHeader(s, sp);
        bih.ParamL0 = kBandLines;
        bih.ParamOrder = 3;
        bih.ParamOption = 0x58;
        if (CodePage(s, sp, bih) < 0) return 0;
        sp.cmpImgBytes = 0;
        GDI_COVERAGE_Z coverage;
        GetCoverageCmd_Z(&coverage, blankPage, s.imageCoverage);
        if (!SendFrame(s, coverage, 1, "Prnt_SendPage() :: send cmdCoverage Fail 0 ==  \n"))
            return 0;
        Insert00(s);
        return SendRasterImage(s, sp);
    }

    int EndPage(PrntStream &s, GDI_END_PAGE_PARAM &) const override {
        Insert00(s);
        return SendText(s, formFeedCmd, 1, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n") ? 1
                                                                                               : 0;
    }

    int EndDoc(PrntStream &s, const GDI_END_DOC_PARAM &) const override { return EndDocShort(s); }

    int ManualDuplexCmd(PrntStream &s) const override {
        return SendText(s, manualDuplexCmd_Z, 0,
                        "SendManualDuplexCmd() :: send manualDuplexCmd_Z Fail 0 ==  \n")
                   ? 1
                   : 0;
    }

    // Legal (11) has a long-edge code of its own; the QV models have one for each standard
    // size they feed long edge first.
    uint16_t LongEdgePaperCode(uint16_t code, bool groupCodes) const override {
        static constexpr uint16_t kGroupLongEdgeCodes[][2] = {
            {1, 36}, {2, 60}, {5, 55}, {14, 70}, {15, 72}, {20, 61}, {21, 57}, {24, 69}, {29, 71}};
        if (code == 11) return 18;
        if (groupCodes)
            for (const auto &m : kGroupLongEdgeCodes)
                if (code == m[0]) return m[1];
        return code;
    }

    bool PatchSpooledTray(int fd, uint16_t tray) const override {
        return EditMediaSource(fd, tray);
    }
};

} // namespace

const Dialect *PlaceDialectZ(void *storage) {
    static_assert(sizeof(DialectZFrames) <= kDialectBytes);
    return new (storage) DialectZFrames;
}
