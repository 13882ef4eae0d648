// Dialect M: blocks of a 16-byte big-endian header ("ZZ") and 12-byte parameter records;
// pages are sent in JBIG packages of at most 65536 bytes. It has no duplex command.
#include "prnt/dialect.h"

#include <new>

#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/page_data.h"
#include "prnt/send_step.h"

#include <iterator>
#include <string>

namespace {

constexpr DialectRules kRulesM{.customPaperCode = 0,
                               .resolutionUnit = 1,
                               .prints1200Raster = false,
                               .anyTrayForMediaType1 = true,
                               .longEdgePaper = 11,
                               .twoSided = TwoSided::Never,
                               .stripedImage = false,
                               .keepAlive = false};

// Sends a block that is its 16-byte header alone.
bool SendBareBlock(PrntStream &s, uint32_t cmdType, int bCache, const char *failMsg) {
    GDI_JOB_SPEC_M header;
    SetCmdType(&header, 16, cmdType, 0, 0, kCmdSignature);
    return SendFrame(s, header, bCache, failMsg);
}

struct PageRecord {
    uint16_t id;
    const char *name;
    uint32_t value;
};

class DialectMFrames final : public Dialect {
  public:
    constexpr DialectMFrames() : Dialect(kRulesM) {}

    // Universal exit, "JZJZ", the engine block and the START_DOC_CMD block with its three
    // page-count records; the job-start record is not read.
    int StartDoc(PrntStream &s, const GDI_START_DOC_PARAM &) const override {
        if (!SendText(s, UEL_CMD, 1, "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n")) return 0;
        if (!SendText(s, pjlJZJZ_R80, 1, "Prnt_StartDoc() :: send pjlJZJZ_R80 Fail 0 ==  \n"))
            return 0;
        GDI_TONER_PARAM_PLATFORM_M engine;
        GetTonerParamCmdForPlatformM(&engine, 88, TONER_PARAM, 0, 0, kCmdSignature);
        if (!SendFrame(s, engine, 1, "Prnt_StartDoc() :: send TONER_PARAM Fail 0 ==  \n")) return 0;
        GDI_JOB_SPEC_M header;
        SetCmdType(&header, 52, START_DOC_CMD, 3, 36, kCmdSignature);
        if (!SendFrame(s, header, 1, "Prnt_StartDoc() :: send START_DOC_CMD Fail 0 ==  \n"))
            return 0;
        const uint32_t values[3] = {0, 0, 1};
        for (uint16_t id = 0; id < 3; ++id) {
            GDI_SET_PARAM param;
            SetCmdParam(&param, id, 1, values[id]);
            if (!SendFrame(s, param, 1, "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n"))
                return 0;
        }
        return 1;
    }

    // The START_PAGE_CMD header and its 14 records (17 for the custom size).
    int StartPage(PrntStream &s, const GDI_START_PAGE_PARAM &start) const override {
        const GDI_START_PAGE_PARAM *sp = &start;
        const bool custom = sp->paperSize == 0;
        const uint32_t bpp = sp->iIs2bit == 1 ? 2 : 1;
        GDI_JOB_SPEC_M header;
        SetCmdType(&header, custom ? 220 : 184, START_PAGE_CMD, custom ? 17 : 14,
                   custom ? 204 : 168, kCmdSignature);
        if (!SendFrame(s, header, 1, "Prnt_StartPage() :: send START_PAGE_CMD Fail 0 ==  \n"))
            return 0;
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
            if (!custom && i >= 1 && i <= 3) continue; // custom dimensions only for custom size
            GDI_SET_PARAM param;
            SetCmdParam(&param, records[i].id, 1, records[i].value);
            const std::string msg =
                std::string("Prnt_StartPage() :: send ") + records[i].name + " Fail 0 ==  \n";
            if (!SendFrame(s, param, 1, msg.c_str())) return 0;
        }
        return 1;
    }

    // The whole page as one JBIG image, sent in packages.
    int SendPage(PrntStream &s, GDI_SEND_PAGE_PARAM &sp, int) const override {
        JBIG_BIH bih = PageImageHeader(s, sp);
        bih.ParamL0 = kBandLines;
        bih.ParamOrder = 3;
        bih.ParamOption = 0x5C;
        const int64_t coded = CodePage(s, sp, bih);
        if (coded < 0) return 0;
        sp.cmpImgBytes = static_cast<int32_t>(coded);
        return SendJbigPackagesM(s, bih, s.coded);
    }

    int EndPage(PrntStream &s, GDI_END_PAGE_PARAM &) const override {
        return SendBareBlock(s, END_PAGE_CMD, 1,
                             "Prnt_EndPage() :: send END_PAGE_CMD Fail 0 ==  \n")
                   ? 1
                   : 0;
    }

    // The job end is never spooled.
    int EndDoc(PrntStream &s, const GDI_END_DOC_PARAM &) const override {
        if (!SendBareBlock(s, END_DOC_CMD, 0, "Prnt_EndDoc() :: send END_DOC_CMD Fail 0 ==  \n"))
            return 0;
        if (!SendText(s, UEL_CMD, 0, "Prnt_EndDoc() :: send UEL_CMD Fail 0 ==  \n")) return 0;
        return 1;
    }

    int ManualDuplexCmd(PrntStream &s) const override {
        return SendBareBlock(s, MANUAL_DUPLEX_CMD, 0,
                             "SendManualDuplexCmd() :: send MANUAL_DUPLEX_CMD Fail 0 ==  \n")
                   ? 1
                   : 0;
    }

    // Legal (11) has a long-edge code of its own.
    uint16_t LongEdgePaperCode(uint16_t code, bool) const override {
        return code == 11 ? 61 : code;
    }
};

} // namespace

const Dialect *PlaceDialectM(void *storage) {
    static_assert(sizeof(DialectMFrames) <= kDialectBytes);
    return new (storage) DialectMFrames;
}
