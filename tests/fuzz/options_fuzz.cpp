// Fuzzes the option-string functions with arbitrary option strings: the option table update,
// the job switches, the platform Z PPD defaults, the custom size and margins, the media name,
// the job settings resolved from them (QV queue) with the page plan's clamp and custom-size
// decisions, and the word removal of the converter's options.
//
// Input: Duplex and Tumble bytes, PageSize width and height (u16 each), a media-name buffer
// size byte, the word to remove (up to NUL), the removal delimiter byte, then the option
// string (the rest).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "common/paper_catalogue.h"
#include "core/page_plan.h"
#include "core/raster_page.h"
#include "filter/cups_settings.h"
#include "filter/input_prep.h"
#include "filter/options.h"
#include "filter/queue_options.h"
#include "tests/fuzz/fuzz_support.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

ppd_file_t *gPPD = nullptr;

// An exact-size heap copy, so that a read past the terminator is caught.
std::vector<char> HeapText(const std::string &s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back('\0');
    return v;
}

void CheckRemoveStr(const std::string &options, const std::string &word, char tok) {
    std::vector<char> buf(8192, '\0');
    const size_t len = std::min(options.size(), buf.size() - 1);
    std::memcpy(buf.data(), options.data(), len);
    const std::string before(buf.data());
    const std::vector<char> w = HeapText(word);
    removestr(buf.data(), w.data(), tok);
    const std::string after(buf.data());
    // The result is the text with at most one span cut out at the first occurrence of word.
    if (after.size() > before.size()) FuzzFail("removestr made the text longer");
    const size_t at = word.empty() ? std::string::npos : before.find(word);
    if (tok == '\0' || at == std::string::npos) {
        if (after != before && !word.empty()) FuzzFail("removestr changed text without a match");
        return;
    }
    if (after.compare(0, at, before, 0, at) != 0)
        FuzzFail("removestr changed the text in front of the word");
}

// The page of the input as the raster reader would hand it over: 8-bit grey at 600 dpi with the
// fuzzed page size, named `name`.
cups_page_header2_t GreyPage(const cups_page_header2_t &in, const char *name) {
    cups_page_header2_t h = in;
    h.HWResolution[0] = h.HWResolution[1] = 600;
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 8;
    h.cupsColorSpace = CUPS_CSPACE_K;
    h.cupsWidth = h.cupsBytesPerLine = h.PageSize[0] * 600 / 72;
    h.cupsHeight = h.PageSize[1] * 600 / 72;
    h.NumCopies = 1;
    std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", name);
    return h;
}

// The job's settings from the options on the QV queue (an option string that starts with 'a'
// is resolved as on Astra Linux, whose custom sizes include the page margins), and the plan of
// the input's page, as an ordinary and as a custom page, where the header check lets it
// through. An oversized page is clamped to the printer's largest page or takes the size of the
// table row the options name; any other page keeps its size.
void CheckSettingsAndPlan(char **argv, const cups_page_header2_t &in) {
    JobSettings s;
    ResolveJobSettings(s, argv, gPPD, argv[5][0] == 'a' ? "astra_1.7" : "debian_12");
    if (s.platform != PLATFORM_Z || s.group != ModelGroup::QV) FuzzFail("not the QV queue");
    if (static_cast<int>(s.options.blankPages) < 1 || static_cast<int>(s.options.blankPages) > 3)
        FuzzFail("blank-page mode out of range");
    if (s.colorBits != (s.is1200dpi ? 1 : 2)) FuzzFail("QV bit depth disagrees with dpi");
    if (s.maxPageWidth == 0 || s.maxPageHeight == 0)
        FuzzFail("no page limits read from the QV queue");
    JobPosition at;
    at.page = 1;
    at.options = &s.options;
    for (const char *name : {"", "Custom"}) {
        const cups_page_header2_t h = GreyPage(in, name);
        if (!IsPrintableRasterHeader(h, stderr)) continue;
        const PagePlan plan = PlanPage(s, h, at);
        const unsigned w = plan.header.PageSize[0], ht = plan.header.PageSize[1];
        const unsigned inW = h.PageSize[0], inH = h.PageSize[1];
        if (inW <= s.maxPageWidth && inH <= s.maxPageHeight) {
            if (w != inW || ht != inH) FuzzFail("a page within the limits was resized");
        } else if (w != std::min(inW, s.maxPageWidth) || ht != std::min(inH, s.maxPageHeight)) {
            bool namedRow = false;
            for (const PAPER_SIZE_INFO *row = s.paperTable; row->cupsPaperW != -1; ++row)
                namedRow = namedRow ||
                           (s.pageSizeGiven &&
                            s.pageSizeName ==
                                std::string_view(row->strPageSize, strnlen(row->strPageSize, 15)) &&
                            w == static_cast<unsigned>(row->cupsPaperW) &&
                            ht == static_cast<unsigned>(row->cupsPaperH));
            if (!namedRow)
                FuzzFail("an oversized page was not clamped",
                         std::to_string(w) + "x" + std::to_string(ht));
        }
        if (plan.width == 0 || plan.height == 0) FuzzFail("empty page bitmap");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    KeepSanitizerReportsVisible();
    const std::string ppd = std::string(KELVRA_FIXTURES_DIR) + "/ppd/qv.ppd";
    setenv("PPD", ppd.c_str(), 1);
    gPPD = ppdOpenFile(ppd.c_str());
    return gPPD ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Silence err(getenv("KELVRA_FUZZ_VERBOSE") ? -1 : STDERR_FILENO);
    FuzzReader in(data, size);
    cups_page_header2_t header{};
    // Raw values, as the raster reader copies them from the stream.
    const uint32_t duplex = in.U8(), tumble = in.U8();
    std::memcpy(&header.Duplex, &duplex, sizeof duplex);
    std::memcpy(&header.Tumble, &tumble, sizeof tumble);
    header.PageSize[0] = in.U16();
    header.PageSize[1] = in.U16();
    const size_t mediaSize = 1 + in.U8() % kMediaNameSize;
    const std::string word = in.Text(64);
    const char tok = static_cast<char>(in.U8());
    const std::string options = in.Rest();
    const std::vector<char> opt = HeapText(options);

    // The print options, as the job loop updates them per page: every enumerated setting holds
    // one of its values, whatever the text.
    PrintOptions printOptions;
    cups_option_t *parsed = nullptr;
    const int n = cupsParseOptions(opt.data(), 0, &parsed);
    GetFunctionValue(printOptions, n, parsed, &header);
    if (static_cast<int>(printOptions.duplex) > 2) FuzzFail("duplex out of range");
    if (static_cast<int>(printOptions.toner) > 3) FuzzFail("toner mode out of range");
    if (static_cast<int>(printOptions.feed) > 2) FuzzFail("feed edge out of range");
    if (static_cast<int>(printOptions.tray) > 4) FuzzFail("tray out of range");
    cupsFreeOptions(n, parsed);

    const int blank = isBlankSuppress(opt.data(), gPPD);
    if (blank < 1 || blank > 3) FuzzFail("isBlankSuppress out of range");
    const int dpi = is1200dpiprint(opt.data(), gPPD);
    if (dpi != 1 && dpi != 2) FuzzFail("is1200dpiprint out of range");

    for (bool astra : {false, true}) {
        float w = 0, h = 0;
        GetCustomSize(opt.data(), &w, &h, astra);
        int top = 0, bottom = 0, right = 0, left = 0;
        GetPageMargins(opt.data(), &top, &bottom, &right, &left);
    }

    // The options with the queue's defaults: every option the filter reads has a value, and
    // each value the PPD offers is one of its choices.
    {
        std::FILE *log = std::fopen("/dev/null", "w");
        const QueueOptions queue(opt.data(), gPPD, log);
        std::fclose(log);
        for (const char *name : {"Density", "TonerMode", "Collate", "LockedPinPrint"}) {
            ppd_option_t *o = ppdFindOption(gPPD, name);
            const char *v = queue.Get(name);
            if (o == nullptr) continue;
            if (v == nullptr) FuzzFail("a queue option has no value", name);
            if (ppdFindChoice(o, v) == nullptr) FuzzFail("a value the queue does not offer", name);
        }
    }

    // The media name into a buffer of the stated size.
    std::string args[6] = {"rastertoKelvra", "1", "u", "t", "1", options};
    char *argv[7];
    for (int i = 0; i < 6; ++i)
        argv[i] = args[i].data();
    argv[6] = nullptr;
    std::vector<char> media(mediaSize, 'x');
    if (Getmediasizename(argv, media.data(), media.size()) &&
        std::memchr(media.data(), '\0', media.size()) == nullptr)
        FuzzFail("Getmediasizename left the name unterminated");

    CheckSettingsAndPlan(argv, header);
    CheckRemoveStr(options, word, tok);
    return 0;
}
