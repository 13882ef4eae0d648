// Dialect C: short command frames behind a PJL header, separated by 00 00; the printer
// turns the sheet itself (machine duplex) and reports coverage and an image checksum per page.
#include "prnt/dialect.h"

#include <new>

#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/page_data.h"
#include "prnt/send_step.h"
#include "prnt/send_time.h"
#include "prnt/short_frames.h"

#include <climits>

namespace {

constexpr DialectRules kRulesC{.customPaperCode = 255,
                               .resolutionUnit = 10,
                               .prints1200Raster = true,
                               .anyTrayForMediaType1 = false,
                               .longEdgePaper = 6,
                               .twoSided = TwoSided::ByPrinter,
                               .stripedImage = true,
                               .keepAlive = true};

class DialectCFrames final : public Dialect {
  public:
    constexpr DialectCFrames() : Dialect(kRulesC) {}

    // Clean-up sequence, PJL header, job specification, toner save, density and the date;
    // every item is spooled.
    int StartDoc(PrntStream &s, const GDI_START_DOC_PARAM &start) const override {
        const GDI_START_DOC_PARAM *sd = &start;
        if (!SendText(s, UEL_CMD_C, 1, "Prnt_StartDoc() :: send UEL_CMD_C Fail 0 ==  \n")) return 0;
        if (!SendText(s, abortCmd, 1, "Prnt_StartDoc() :: send abortCmd Fail 0 ==  \n")) return 0;
        if (!SendText(s, endOfJobCmd, 1, "Prnt_StartDoc() :: send endOfJobCmd Fail 0 ==  \n"))
            return 0;
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
        if (!SendFrame(s, tonerSave, 1, "Prnt_StartDoc() :: send cmdTonerSave Fail 0 ==  \n"))
            return 0;
        Insert00(s);
        GDI_DENSITY_PARAM density;
        GetDensityCmd(sd, &density);
        if (!SendFrame(s, density, 1, "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n")) return 0;
        GDI_SYSTEM_DATE date;
        GetSysTimeCmd(&date, s.settings.identity.time);
        if (!SendFrame(s, date, 1, "Prnt_StartDoc() :: send cmdSysTime Fail 0 ==  \n")) return 0;
        return 1;
    }

    // Page specification, custom paper frame and the host-use frame.
    int StartPage(PrntStream &s, const GDI_START_PAGE_PARAM &sp) const override {
        return StartPageShort(s, sp, PLATFORM_C);
    }

    // The whole page as one JBIG image in stripes of the record's stripe height.
    int SendPage(PrntStream &s, GDI_SEND_PAGE_PARAM &sp, int) const override {
        JBIG_BIH bih = PageImageHeader(s, sp);
        bih.ParamL0 = sp.rasImgH;
        const int64_t coded = CodePage(s, sp, bih);
        if (coded < 0) return 0;
        sp.cmpImgBytes = static_cast<int32_t>(coded);
        return SendRasterImage(s, sp);
    }

    // Universal exit, image checksum, dot count, form feed and, for machine duplex, the
    // duplex frame after odd pages.
    int EndPage(PrntStream &s, GDI_END_PAGE_PARAM &end) const override {
        GDI_END_PAGE_PARAM *ep = &end;
        if (!SendText(s, UEL_CMD_C, 1, "Prnt_EndPage() :: send UEL_CMD_C Fail 0 ==  \n")) return 0;
        Insert00(s);
        GDI_IMAGE_DATA_CHECKSUM checksum;
        GetImageDataChenksumCmd(&checksum, s.imageChecksum);
        if (!SendFrame(s, checksum, 1, "Prnt_EndPage() :: send cmdImageDataChenksum Fail 0 ==  \n"))
            return 0;
        Insert00(s);
        GDI_COVERAGE_C coverage;
        GetCoverageCmd_C(ep, &coverage, s.imageCoverage);
        if (!SendFrame(s, coverage, 1, "Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n"))
            return 0;
        Insert00(s);
        if (!SendText(s, formFeedCmd, 1, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n"))
            return 0;
        if (ep->bMachDup == 1 && SendMachineDuplexCmd(s, ep->page, 1) == 0) {
            s.error.Prepend("Prnt_EndPage() :: MachineDuplexCmd Fail .\n");
            return 0;
        }
        return 1;
    }

    // The duplex frame of an odd machine-duplex job, the status query, reset and job end.
    int EndDoc(PrntStream &s, const GDI_END_DOC_PARAM &end) const override {
        if (end.bMachDup == 1 && SendMachineDuplexCmd(s, end.page, 1) == 0) {
            s.error.Prepend("Prnt_EndDoc() :: MachineDuplexCmd Fail .\n");
            return 0;
        }
        Insert00(s);
        if (!SendText(s, queryStatusCmd, 1, "Prnt_EndDoc() :: send queryStatusCmd Fail 0 ==  \n"))
            return 0;
        Insert00(s);
        return EndDocShort(s);
    }

    int ManualDuplexCmd(PrntStream &s) const override {
        return SendText(s, manualDuplexCmd_C, 0,
                        "SendManualDuplexCmd() :: send manualDuplexCmd_C Fail 0 ==  \n")
                   ? 1
                   : 0;
    }

    bool PatchSpooledTray(int fd, uint16_t tray) const override {
        return EditMediaSource(fd, tray);
    }
};

} // namespace

const Dialect *PlaceDialectC(void *storage) {
    static_assert(sizeof(DialectCFrames) <= kDialectBytes);
    return new (storage) DialectCFrames;
}
