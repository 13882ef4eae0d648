// Picks a job's dialect and runs the printer operations of prnt.h through it.
#include "prnt/dialect.h"

#include <new>

#include "prnt/fixed_commands.h"
#include "prnt/send_step.h"

namespace {

// The rules of an unknown platform number: pages as the dialects have them by default.
constexpr DialectRules kNoRules{.customPaperCode = 0,
                                .resolutionUnit = 1,
                                .prints1200Raster = false,
                                .anyTrayForMediaType1 = false,
                                .longEdgePaper = -1,
                                .twoSided = TwoSided::ByPrinter,
                                .stripedImage = false,
                                .keepAlive = false};

// An unknown platform number: every operation sends nothing and fails.
class NoDialect final : public Dialect {
  public:
    constexpr NoDialect() : Dialect(kNoRules) {}
    int StartDoc(PrntStream &, const GDI_START_DOC_PARAM &) const override { return 0; }
    int StartPage(PrntStream &, const GDI_START_PAGE_PARAM &) const override { return 0; }
    int SendPage(PrntStream &, GDI_SEND_PAGE_PARAM &, int) const override { return 0; }
    int EndPage(PrntStream &, GDI_END_PAGE_PARAM &) const override { return 0; }
    int EndDoc(PrntStream &, const GDI_END_DOC_PARAM &) const override { return 0; }
    int ManualDuplexCmd(PrntStream &) const override { return 0; }
};
} // namespace

// Most sizes have no long-edge code of their own.
uint16_t Dialect::LongEdgePaperCode(uint16_t code, bool) const {
    return code;
}

// A dialect without a page specification frame has nothing to patch.
bool Dialect::PatchSpooledTray(int, uint16_t) const {
    return false;
}

JobDialect::JobDialect(int platform) : platform_(platform) {
    switch (platform) {
    case PLATFORM_C:
        dialect_ = PlaceDialectC(storage_);
        break;
    case PLATFORM_Z:
        dialect_ = PlaceDialectZ(storage_);
        break;
    case PLATFORM_M:
        dialect_ = PlaceDialectM(storage_);
        break;
    default:
        static_assert(sizeof(NoDialect) <= kDialectBytes);
        dialect_ = new (storage_) NoDialect;
        break;
    }
}

int Prnt_StartDoc(PrntStream &stream, const GDI_START_DOC_PARAM &startDoc) {
    return JobDialect(stream.settings.platform)->StartDoc(stream, startDoc);
}

int Prnt_StartPage(PrntStream &stream, const GDI_START_PAGE_PARAM &startPage) {
    return JobDialect(stream.settings.platform)->StartPage(stream, startPage);
}

int Prnt_SendPage(PrntStream &stream, GDI_SEND_PAGE_PARAM &sendPage, int BlankPage) {
    return JobDialect(stream.settings.platform)->SendPage(stream, sendPage, BlankPage);
}

int Prnt_EndPage(PrntStream &stream, GDI_END_PAGE_PARAM &endPage) {
    return JobDialect(stream.settings.platform)->EndPage(stream, endPage);
}

int Prnt_EndDoc(PrntStream &stream, const GDI_END_DOC_PARAM &endDoc) {
    return JobDialect(stream.settings.platform)->EndDoc(stream, endDoc);
}

int SendManualDuplexCmd(PrntStream &stream) {
    return JobDialect(stream.settings.platform)->ManualDuplexCmd(stream);
}

// Machine duplex turns the sheet after its back side: the frame follows even pages, and the
// last page at job end when it is odd.
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
