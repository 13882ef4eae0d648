// The option catalogue: one descriptor per job option with everything the front ends say about
// it: the PPD option (keyword, text, group, choices and default, which models offer it), the
// IPP attribute of the Printer Application (name, type, supported values, default), its label
// in the web interface and what each choice sets in the job's settings. The PPD generator, the
// CUPS filter and the Printer Application all read it, so they cannot drift apart. Like the
// model catalogue it holds no pointers: constant data in read-only memory.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "common/job_settings.h"
#include "common/model_catalogue.h"

// How a PPD offers the option.
enum class PpdUi : uint8_t {
    None,      // not in the PPDs: read from the job's options only
    Boolean,   // Option ... Boolean
    PickOne,   // Option ... PickOne
    InputSlot, // ppdc's InputSlot lines (every model)
    Levels,    // one choice per level of the model's DensityLevels, labelled by rank
};

// The type of the option's IPP attribute in the Printer Application.
enum class IppType : uint8_t { None, Boolean, Keyword };

// What selects the second choice set of an option on a model.
enum class OptionVariant : uint8_t {
    None,
    FeedsLongEdgeBySize, // ModelInfo::FeedsLongEdgeBySize()
    Prints1200dpi,       // ModelInfo::prints1200dpi
};

// The job setting (a field of PrintOptions) that an option's choices set; a choice's value is
// the setting's code (a switch: 0 off, 1 on).
enum class Setting : uint8_t {
    None, // read elsewhere (the locked-print PIN, print quality) or not at all
    TonerMode,
    Collate,
    Quality,
    FeedEdge,
    Rotate180,
    NegativePrint,
    BlankPages,
    Booklet,
    FineMode,
    Density,
    Tray,
};

// One choice. `alias` rows are not offered (no PPD choice, no IPP value): other spellings the
// filter reads from a job's options.
struct OptionChoice {
    char ppd[24];  // PPD choice keyword, matched without case in the job's options
    char text[24]; // PPD choice text, also the web label of the IPP keyword
    char ipp[20];  // IPP keyword ("on"); empty for a boolean attribute
    char code[44]; // PostScript the PPD gives the choice
    int32_t value; // the code the choice gives the option's setting
    bool alias;
};

// The choices a model sees: the PPD and IPP form, the default and the rows.
struct OptionChoices {
    PpdUi ui = PpdUi::None;
    IppType ippType = IppType::None;
    uint8_t defaultChoice = 0; // row index
    uint8_t count = 0;
    OptionChoice rows[14] = {};

    std::span<const OptionChoice> Rows() const { return {rows, count}; }
    const OptionChoice &Default() const { return rows[defaultChoice]; }
    // The row with this PPD keyword (any case), aliases included; nullptr when none.
    const OptionChoice *FindPpd(std::string_view keyword) const;
    // The offered row with this IPP keyword; nullptr when none.
    const OptionChoice *FindIpp(std::string_view keyword) const;
    // The rows of the IPP keywords (a keyword attribute only, else none): the default first,
    // then by value from high to low ("on" before "off"). Returns how many (at most 14).
    int IppKeywords(const OptionChoice *out[14]) const;
};

// How a text that is none of the choices sets the setting.
enum class OtherText : uint8_t {
    Value,   // the descriptor's otherValue
    Keep,    // the setting keeps its value
    Decimal, // the text read as a decimal number (clamped to int)
};

struct OptionDescriptor {
    char keyword[20];   // PPD keyword and job option name
    char text[32];      // PPD text and the IPP attribute's web label
    char group[24];     // PPD group ("Advanced/Advanced")
    uint8_t order;      // PPD AnySetup order
    uint16_t offeredBy; // the ModelOption bit of the models that offer it; 0: every model
    char ippName[24];   // the Printer Application's vendor attribute; empty for none
    char jobAttr[24];   // the standard IPP job attribute CUPS may pass instead; empty for none
    Setting setting;    // the job setting it sets
    OtherText other;
    int32_t otherValue; // the code of an unknown text (OtherText::Value)
    OptionVariant variant;
    OptionChoices choices;        // every model but the variant's
    OptionChoices variantChoices; // the models the variant selects

    // Whether the model offers the option.
    bool OfferedBy(const ModelInfo &model) const {
        return offeredBy == 0 || model.Offers(static_cast<ModelOption>(offeredBy));
    }
    // The choices the model sees.
    const OptionChoices &ChoicesFor(const ModelInfo &model) const;
    // The code a job option's text gives the setting, given the setting's current code.
    int32_t Value(std::string_view text, int32_t current = 0) const;
    // Sets the job's setting as a job option's text says.
    void Apply(std::string_view text, PrintOptions &options) const;
    // Sets the job's setting to a choice.
    void Apply(const OptionChoice &choice, PrintOptions &options) const;
};

// The code a setting has in the job's options, and the code written back as the setting. The
// one place where the catalogue's choice codes meet the typed options.
int32_t SettingCode(const PrintOptions &options, Setting setting);
void SetSetting(PrintOptions &options, Setting setting, int32_t code);

// Every option, in the order the PPDs declare them.
std::span<const OptionDescriptor> OptionCatalogue();

// The option with this keyword (exact), or nullptr.
const OptionDescriptor *FindOption(std::string_view keyword);
