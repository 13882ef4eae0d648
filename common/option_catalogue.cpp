// The option catalogue: the descriptors of the job options. The PPD option texts are generated
// from it (tools/gen_ppd_sources.cpp), the filter resolves a job's options with it and the
// Printer Application builds its vendor attributes and web texts from it.
#include "common/option_catalogue.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <string>

namespace {

// Copies a text into a fixed-size field; a text that does not fit stops the build (a throw
// is not a constant expression).
template <std::size_t N> constexpr void Put(char (&field)[N], std::string_view text) {
    if (text.size() >= N) throw "text longer than its catalogue field";
    for (std::size_t i = 0; i < text.size(); ++i)
        field[i] = text[i];
}

// One choice row: PPD keyword and text, IPP keyword, the setting's code, PostScript code.
struct Row {
    std::string_view ppd, text, ipp;
    int32_t value = 0;
    std::string_view code = {};
    bool alias = false;
};

constexpr OptionChoices Choices(PpdUi ui, IppType ippType, uint8_t defaultChoice,
                                std::initializer_list<Row> rows) {
    OptionChoices c;
    c.ui = ui;
    c.ippType = ippType;
    c.defaultChoice = defaultChoice;
    if (rows.size() > std::size(c.rows) || defaultChoice >= rows.size())
        throw "too many choices or no default";
    for (const Row &r : rows) {
        OptionChoice &o = c.rows[c.count++];
        Put(o.ppd, r.ppd);
        Put(o.text, r.text);
        Put(o.ipp, r.ipp);
        Put(o.code, r.code);
        o.value = r.value;
        o.alias = r.alias;
    }
    return c;
}

// An on/off switch: choices False ("Off", 0) and True ("On", 1), the default first.
constexpr OptionChoices Switch(bool defaultOn, IppType ippType = IppType::None,
                               std::string_view onCode = {}, std::string_view offCode = {}) {
    const Row off{"False", "Off", {}, 0, offCode};
    const Row on{"True", "On", {}, 1, onCode};
    return defaultOn ? Choices(PpdUi::Boolean, ippType, 0, {on, off})
                     : Choices(PpdUi::Boolean, ippType, 0, {off, on});
}

// The ten digits of one place of a locked print's PIN.
constexpr OptionChoices Digits() {
    return Choices(PpdUi::PickOne, IppType::None, 0,
                   {{"0", "0", {}},
                    {"1", "1", {}},
                    {"2", "2", {}},
                    {"3", "3", {}},
                    {"4", "4", {}},
                    {"5", "5", {}},
                    {"6", "6", {}},
                    {"7", "7", {}},
                    {"8", "8", {}},
                    {"9", "9", {}}});
}

struct Spec {
    std::string_view keyword, text, group;
    uint8_t order = 10;
    uint16_t offeredBy = 0;
    std::string_view ippName = {};
    std::string_view jobAttr = {};
    Setting setting = Setting::None;
    OtherText other = OtherText::Value;
    int32_t otherValue = 0;
    OptionVariant variant = OptionVariant::None;
    OptionChoices choices = {};
    OptionChoices variantChoices = {};
};

constexpr OptionDescriptor Option(const Spec &s) {
    OptionDescriptor d{};
    Put(d.keyword, s.keyword);
    Put(d.text, s.text);
    Put(d.group, s.group);
    Put(d.ippName, s.ippName);
    Put(d.jobAttr, s.jobAttr);
    d.order = s.order;
    d.offeredBy = s.offeredBy;
    d.setting = s.setting;
    d.other = s.other;
    d.otherValue = s.otherValue;
    d.variant = s.variant;
    d.choices = s.choices;
    d.variantChoices = s.variant == OptionVariant::None ? s.choices : s.variantChoices;
    return d;
}

constexpr std::string_view kGeneral = "General/General";
constexpr std::string_view kAdvanced = "Advanced/Advanced";
constexpr std::string_view kSecurity = "Security/Locked Print";

// In the order the PPDs declare them (an option's place in its PPD group follows it); the
// options every PPD declares outside the model blocks (InputSlot) or at a place of their own
// (Density) come last.
constexpr OptionDescriptor kCatalogue[] = {
    // Toner save: lighter pages with less toner. A job that names it with another word than
    // on or off sets TonerMode::Other; a job of the Printer Application that does not name it
    // keeps TonerMode::Unnamed.
    Option({.keyword = "TonerMode",
            .text = "Toner Save",
            .group = kGeneral,
            .offeredBy = kOptTonerMode,
            .ippName = "toner-save",
            .setting = Setting::TonerMode,
            .otherValue = 3,
            .choices = Switch(false, IppType::Boolean)}),
    // The filter makes copies and collates them itself: CUPS passes one copy of each page with
    // NumCopies, and this option. The Printer Application reads multiple-document-handling.
    Option({.keyword = "Collate",
            .text = "Collate Copies",
            .group = kGeneral,
            .offeredBy = kOptCollate,
            .jobAttr = "collate",
            .setting = Setting::Collate,
            .choices = Switch(true, IppType::None, "<</Collate true>>setpagedevice",
                              "<</Collate false>>setpagedevice")}),
    // "1200 dpi Quality": what it prints depends on the model (see the model catalogue); the
    // Printer Application sets it from print-quality or the resolution.
    Option({.keyword = "DPI1200",
            .text = "1200 dpi Quality",
            .group = kGeneral,
            .offeredBy = kOptDpi1200,
            .setting = Setting::Quality,
            .other = OtherText::Keep,
            .choices = Switch(false)}),
    // The QV models feed the standard sizes (A4, A5, B5, Letter, 16K, Executive, Statement, ...)
    // long edge first by themselves; "Auto" leaves it to the paper size.
    Option({.keyword = "FeedLongEdge",
            .text = "Feed Paper Long Edge First",
            .group = kAdvanced,
            .offeredBy = kOptFeedLongEdge,
            .ippName = "feed-long-edge",
            .setting = Setting::FeedEdge,
            .variant = OptionVariant::FeedsLongEdgeBySize,
            .choices = Switch(false, IppType::Boolean),
            .variantChoices = Choices(PpdUi::PickOne, IppType::Keyword, 0,
                                      {{"Auto", "By Paper Size", "auto", 2},
                                       {"False", "Off", "off", 0},
                                       {"True", "On", "on", 1}})}),
    Option({.keyword = "ImageRotation",
            .text = "Rotate Pages 180 Degrees",
            .group = kAdvanced,
            .offeredBy = kOptImageRotation,
            .ippName = "rotate-180",
            .setting = Setting::Rotate180,
            .choices = Switch(false, IppType::Boolean)}),
    Option({.keyword = "NegativePrint",
            .text = "Negative Print",
            .group = kAdvanced,
            .offeredBy = kOptNegativePrint,
            .ippName = "negative-print",
            .setting = Setting::NegativePrint,
            .choices = Switch(false, IppType::Boolean)}),
    // Blank-page suppression is a printer setting the colour-library models take from the job.
    // Any word but the ones for off turns it on.
    Option({.keyword = "BlankSuppress",
            .text = "Skip Blank Pages",
            .group = kAdvanced,
            .offeredBy = kOptBlankSuppress,
            .ippName = "skip-blank-pages",
            .setting = Setting::BlankPages,
            .otherValue = 3,
            .choices = Choices(PpdUi::PickOne, IppType::Keyword, 0,
                               {{"PrinterSetting", "Printer Setting", "printer-setting", 1},
                                {"True", "On", "on", 3},
                                {"False", "Off", "off", 2},
                                {"no", {}, {}, 2, {}, true},
                                {"off", {}, {}, 2, {}, true},
                                {"0", {}, {}, 2, {}, true}})}),
    Option({.keyword = "Booklet",
            .text = "Booklet",
            .group = kAdvanced,
            .offeredBy = kOptBooklet,
            .ippName = "booklet",
            .setting = Setting::Booklet,
            .choices = Switch(false, IppType::Boolean)}),
    Option({.keyword = "FineMode",
            .text = "Fine Mode",
            .group = kAdvanced,
            .offeredBy = kOptFineMode,
            .ippName = "fine-mode",
            .setting = Setting::FineMode,
            .choices = Switch(false, IppType::Boolean)}),
    // Locked (PIN) printing: the printer holds the job until its four-digit PIN is entered.
    Option({.keyword = "LockedPinPrint",
            .text = "Locked Print",
            .group = kSecurity,
            .offeredBy = kOptLockedPrint,
            .choices = Switch(false)}),
    Option({.keyword = "PinNum1",
            .text = "PIN Digit 1",
            .group = kSecurity,
            .offeredBy = kOptLockedPrint,
            .choices = Digits()}),
    Option({.keyword = "PinNum2",
            .text = "PIN Digit 2",
            .group = kSecurity,
            .offeredBy = kOptLockedPrint,
            .choices = Digits()}),
    Option({.keyword = "PinNum3",
            .text = "PIN Digit 3",
            .group = kSecurity,
            .offeredBy = kOptLockedPrint,
            .choices = Digits()}),
    Option({.keyword = "PinNum4",
            .text = "PIN Digit 4",
            .group = kSecurity,
            .offeredBy = kOptLockedPrint,
            .choices = Digits()}),
    // Print quality as print dialogs offer it (CUPS maps IPP print-quality to it): draft and
    // normal print at the queue's resolution, high in the "1200 dpi Quality" mode (the filter
    // reads the choice). Where the model prints the 1200-dpi raster, high renders at 1200 dpi
    // (the order puts the code after the resolution's own).
    Option({.keyword = "cupsPrintQuality",
            .text = "Print Quality",
            .group = kGeneral,
            .order = 20,
            .offeredBy = kOptPrintQuality,
            .jobAttr = "print-quality",
            .variant = OptionVariant::Prints1200dpi,
            .choices = Choices(PpdUi::PickOne, IppType::None, 1,
                               {{"Draft", "Draft", "draft"},
                                {"Normal", "Normal", "normal"},
                                {"High", "High", "high"}}),
            .variantChoices = Choices(
                PpdUi::PickOne, IppType::None, 1,
                {{"Draft", "Draft", "draft"},
                 {"Normal", "Normal", "normal"},
                 {"High", "High", "high", 0, "<</HWResolution[1200 1200]>>setpagedevice"}})}),
    // Print density: the model's levels (DensityLevels), labelled from lightest to darkest; the
    // setting takes the level's number.
    Option({.keyword = "Density",
            .text = "Print Density",
            .group = kGeneral,
            .setting = Setting::Density,
            .other = OtherText::Decimal,
            .choices = Choices(PpdUi::Levels, IppType::None, 2,
                               {{{}, "Lightest", {}},
                                {{}, "Light", {}},
                                {{}, "Normal", {}},
                                {{}, "Dark", {}},
                                {{}, "Darkest", {}}})}),
    // Paper source: the choice names are the ones the filter maps to trays; AutoFeed and Tray2
    // are read from a job's options too.
    Option({.keyword = "InputSlot",
            .text = "Media Source",
            .group = kGeneral,
            .setting = Setting::Tray,
            .choices = Choices(PpdUi::InputSlot, IppType::None, 0,
                               {{"Auto", "Automatic", "auto", 0},
                                {"Tray1", "Tray 1", "tray-1", 3},
                                {"ManualFeed", "Manual Feed", "manual", 1},
                                {"AutoFeed", {}, {}, 2, {}, true},
                                {"Tray2", {}, {}, 4, {}, true}})}),
};

// ASCII case-insensitive equality.
bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Reads a decimal integer the way atoi does ("12abc" is 12, "abc" is 0) but clamps values
// outside the int range instead of overflowing.
int32_t ReadDecimal(std::string_view text) {
    const long v = std::strtol(std::string(text).c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(v);
}

} // namespace

const OptionChoice *OptionChoices::FindPpd(std::string_view keyword) const {
    for (const OptionChoice &c : Rows())
        if (c.ppd[0] != '\0' && SameText(c.ppd, keyword)) return &c;
    return nullptr;
}

const OptionChoice *OptionChoices::FindIpp(std::string_view keyword) const {
    for (const OptionChoice &c : Rows())
        if (!c.alias && c.ipp[0] != '\0' && keyword == c.ipp) return &c;
    return nullptr;
}

const OptionChoices &OptionDescriptor::ChoicesFor(const ModelInfo &model) const {
    switch (variant) {
    case OptionVariant::FeedsLongEdgeBySize:
        return model.FeedsLongEdgeBySize() ? variantChoices : choices;
    case OptionVariant::Prints1200dpi:
        return model.prints1200dpi ? variantChoices : choices;
    case OptionVariant::None:
        break;
    }
    return choices;
}

// A text is looked up among every row a model may see: the variant's rows too.
int32_t OptionDescriptor::Value(std::string_view text, int32_t current) const {
    if (other == OtherText::Decimal) return ReadDecimal(text);
    const OptionChoice *c = choices.FindPpd(text);
    if (c == nullptr) c = variantChoices.FindPpd(text);
    if (c != nullptr) return c->value;
    return other == OtherText::Keep ? current : otherValue;
}

void OptionDescriptor::Apply(std::string_view text, PrintOptions &options) const {
    SetSetting(options, setting, Value(text, SettingCode(options, setting)));
}

void OptionDescriptor::Apply(const OptionChoice &choice, PrintOptions &options) const {
    SetSetting(options, setting, choice.value);
}

int32_t SettingCode(const PrintOptions &o, Setting setting) {
    switch (setting) {
    case Setting::TonerMode:
        return static_cast<int32_t>(o.toner);
    case Setting::Collate:
        return o.collate;
    case Setting::Quality:
        return static_cast<int32_t>(o.quality);
    case Setting::FeedEdge:
        return static_cast<int32_t>(o.feed);
    case Setting::Rotate180:
        return o.rotate180;
    case Setting::NegativePrint:
        return o.negativePrint;
    case Setting::BlankPages:
        return static_cast<int32_t>(o.blankPages);
    case Setting::Booklet:
        return o.booklet;
    case Setting::FineMode:
        return o.fineMode;
    case Setting::Density:
        return o.density;
    case Setting::Tray:
        return static_cast<int32_t>(o.tray);
    case Setting::None:
        break;
    }
    return 0;
}

// The codes come from the catalogue's rows (and a density from the job's text): each enum
// takes only the codes its rows give.
void SetSetting(PrintOptions &o, Setting setting, int32_t code) {
    switch (setting) {
    case Setting::TonerMode:
        o.toner = static_cast<TonerMode>(code);
        break;
    case Setting::Collate:
        o.collate = code != 0;
        break;
    case Setting::Quality:
        o.quality = code != 0 ? Quality::Dpi1200 : Quality::Normal;
        break;
    case Setting::FeedEdge:
        o.feed = static_cast<FeedEdge>(code);
        break;
    case Setting::Rotate180:
        o.rotate180 = code != 0;
        break;
    case Setting::NegativePrint:
        o.negativePrint = code != 0;
        break;
    case Setting::BlankPages:
        o.blankPages = static_cast<BlankPages>(code);
        break;
    case Setting::Booklet:
        o.booklet = code != 0;
        break;
    case Setting::FineMode:
        o.fineMode = code != 0;
        break;
    case Setting::Density:
        o.density = code;
        break;
    case Setting::Tray:
        o.tray = static_cast<Tray>(code);
        break;
    case Setting::None:
        break;
    }
}

int OptionChoices::IppKeywords(const OptionChoice *out[14]) const {
    if (ippType != IppType::Keyword) return 0;
    int n = 0;
    out[n++] = &Default();
    for (const OptionChoice &c : Rows())
        if (!c.alias && &c != out[0]) out[n++] = &c;
    std::stable_sort(out + 1, out + n, [](const OptionChoice *a, const OptionChoice *b) {
        return a->value > b->value;
    });
    return n;
}

std::span<const OptionDescriptor> OptionCatalogue() {
    return kCatalogue;
}

const OptionDescriptor *FindOption(std::string_view keyword) {
    for (const OptionDescriptor &d : kCatalogue)
        if (keyword == d.keyword) return &d;
    return nullptr;
}
