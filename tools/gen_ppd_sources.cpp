// kelvra-gen-ppd-sources: writes the model blocks that ppd/kelvra.drv includes, from the model
// catalogue and the options from the option catalogue. Each block holds the settings, options
// and page sizes of a run of models whose PPDs differ in nothing but the model; the paper
// sources every model shares come first.
// Usage: kelvra-gen-ppd-sources OUTPUT_FILE
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "common/model_catalogue.h"
#include "common/option_catalogue.h"

namespace {

// The numbers ppdc reads for a size, in hundredths of a point: "12.6", "28.44", "0".
std::string Points(long hundredths) {
    std::string text = std::to_string(hundredths / 100);
    const long fraction = hundredths % 100;
    if (fraction % 10 != 0) {
        text += '.' + std::to_string(fraction / 10) + std::to_string(fraction % 10);
    } else if (fraction != 0) {
        text += '.' + std::to_string(fraction / 10);
    }
    return text;
}

// Thrown for catalogue data the PPDs cannot express; the message names the row or model.
struct BadCatalogue {
    std::string message;
};

// The CustomMedia lines of a paper table, in row order; a size listed twice appears once
// (the filter finds the first row with the page's size). The imageable area is the part of the
// page the filter keeps: the row's bitmap (fwPaperW x fwPaperH dots at 600 dpi, 0.12 point
// each) centred across the 600-dpi raster line and starting at its top line.
void WritePageSizes(std::ostream &out, const ModelInfo &model) {
    const PAPER_SIZE_INFO *rows = model.PaperRows();
    const std::string table = PaperTableName(model.paper);
    std::set<std::pair<int, int>> sizes;
    bool defaultFound = false;
    for (int i = 0; rows[i].cupsPaperW != -1; ++i) {
        const PAPER_SIZE_INFO &row = rows[i];
        if (!sizes.insert({row.cupsPaperW, row.cupsPaperH}).second) continue;
        const PaperMedia *media = MediaOfRow(row);
        if (media == nullptr)
            throw BadCatalogue{table + " row " + std::to_string(i) + " has no paper kind"};
        const long lineDots = (50L * row.cupsPaperW + 3) / 6; // width * 600 / 72, rounded
        const long left = (lineDots - row.fwPaperW) / 2 * 12;
        const long right = 100L * row.cupsPaperW - left - 12L * row.fwPaperW;
        const long bottom = 100L * row.cupsPaperH - 12L * row.fwPaperH;
        if (left < 0 || right < 0 || bottom < 0)
            throw BadCatalogue{table + " row " + std::to_string(i) + ": bitmap exceeds the page"};
        const bool isDefault = std::string_view(media->pwgName) == model.defaultMedia;
        defaultFound = defaultFound || isDefault;
        const std::string size =
            std::to_string(row.cupsPaperW) + ' ' + std::to_string(row.cupsPaperH);
        const std::string code = "\"<</PageSize[" + size + "]/ImagingBBox null>>setpagedevice\"";
        out << "  " << (isDefault ? "*" : "") << "CustomMedia \"" << media->ppdName << '/'
            << media->ppdText << "\" " << size << ' ' << Points(left) << ' ' << Points(bottom)
            << ' ' << Points(right) << " 0 " << code << ' ' << code << '\n';
    }
    if (!defaultFound)
        throw BadCatalogue{std::string(model.modelName) + ": default media not in its table"};
}

// The Group and Option lines of an option with the choices a model sees, the default starred.
void WriteOption(std::ostream &out, const OptionDescriptor &d, const OptionChoices &choices) {
    out << "  Group \"" << d.group << "\"\n"
        << "  Option \"" << d.keyword << '/' << d.text << "\" "
        << (choices.ui == PpdUi::Boolean ? "Boolean" : "PickOne") << " AnySetup "
        << static_cast<int>(d.order) << '\n';
    for (const OptionChoice &c : choices.Rows())
        if (!c.alias)
            out << "    " << (&c == &choices.Default() ? "*" : "") << "Choice \"" << c.ppd << '/'
                << c.text << "\" \"" << c.code << "\"\n";
}

// An option of the model's density levels: one choice per level, labelled by its rank.
void WriteLevels(std::ostream &out, const OptionDescriptor &d, const DensityLevels &density) {
    const std::span<const OptionChoice> labels = d.choices.Rows();
    if (density.darkest - density.lightest + 1 != static_cast<int>(labels.size()) ||
        density.normal < density.lightest || density.normal > density.darkest)
        throw BadCatalogue{std::string("density levels other than ") +
                           std::to_string(labels.size())};
    out << "  Group \"" << d.group << "\"\n"
        << "  Option \"" << d.keyword << '/' << d.text << "\" PickOne AnySetup "
        << static_cast<int>(d.order) << '\n';
    for (int level = density.lightest; level <= density.darkest; ++level)
        out << "    " << (level == density.normal ? "*" : "") << "Choice \"" << level << '/'
            << labels[level - density.lightest].text << "\" \"\"\n";
}

// The density option of a model (the catalogue's one option of levels).
void WriteDensity(std::ostream &out, const DensityLevels &density) {
    for (const OptionDescriptor &d : OptionCatalogue())
        if (d.choices.ui == PpdUi::Levels) WriteLevels(out, d, density);
}

// The paper sources every model shares, as ppdc's InputSlot lines (position, choice, text).
std::string InputSlots() {
    std::ostringstream out;
    for (const OptionDescriptor &d : OptionCatalogue()) {
        if (d.choices.ui != PpdUi::InputSlot) continue;
        int position = 0;
        for (const OptionChoice &c : d.choices.Rows())
            if (!c.alias)
                out << (&c == &d.choices.Default() ? "*" : "") << "InputSlot " << position++
                    << " \"" << c.ppd << '/' << c.text << "\"\n";
    }
    return out.str();
}

// A model's settings, options and page sizes: the block minus its ModelName line.
std::string BlockBody(const ModelInfo &m) {
    static const char *const kPlatforms[] = {"", "PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"};
    if (m.platform < PLATFORM_C || m.platform > PLATFORM_M)
        throw BadCatalogue{std::string(m.modelName) + ": no platform"};
    std::ostringstream out;
    out << "// " << m.manufacturer << ", " << kPlatforms[m.platform] << ", paper table "
        << PaperTableName(m.paper) << "\n{\n"
        << "  Manufacturer \"" << m.manufacturer << "\"\n"
        << "  Attribute cupsIPPReason \"PlatForm/" << kPlatforms[m.platform] << "\" \"\"\n";
    if (m.ManualDuplex())
        out << "  Attribute cupsIPPReason \"SupportManualDuplex/TRUE\" \"\"\n"
            << "  Attribute cupsIPPReason \"MDuplex/" << m.manualDuplexText << "\" \"\"\n";
    if (m.dpi1200Is1200dpi)
        out << "  UIConstraints \"*DPI1200 True *Resolution 600dpi\"\n"
            << "  UIConstraints \"*DPI1200 False *Resolution 1200dpi\"\n";
    out << "  MaxSize " << m.maxWidth << ' ' << m.maxLength << '\n';
    out << (m.Duplex() ? "  Duplex normal\n" : "  Duplex none\n");
    for (const OptionDescriptor &d : OptionCatalogue()) {
        const OptionChoices &choices = d.ChoicesFor(m);
        const bool modelOption = choices.ui == PpdUi::Boolean || choices.ui == PpdUi::PickOne;
        if (modelOption && d.OfferedBy(m)) WriteOption(out, d, choices);
    }
    // The released PPDs list Print Density after Resolution for the colour-library models and
    // before it for the others; declaring them in that order keeps the PPDs as they were.
    const bool densityFirst = m.group == ModelGroup::Plain;
    if (densityFirst) WriteDensity(out, m.density);
    out << "  *Resolution - 8 0 0 0 \"600dpi/600 DPI\"\n";
    if (m.prints1200dpi) out << "  Resolution - 8 0 0 0 \"1200dpi/1200 DPI\"\n";
    if (!densityFirst) WriteDensity(out, m.density);
    WritePageSizes(out, m);
    return out.str();
}

// The whole file: one block per run of models with the same body.
std::string ModelBlocks() {
    std::string text =
        "// Generated by kelvra-gen-ppd-sources (tools/gen_ppd_sources.cpp) from the "
        "model catalogue\n// (common/model_catalogue.cpp) and the option catalogue "
        "(common/option_catalogue.cpp);\n// do not edit.\n" +
        InputSlots();
    std::string open;
    for (const ModelInfo &m : AllModels()) {
        const std::string body = BlockBody(m);
        if (body != open) {
            if (!open.empty()) text += "}\n";
            text += body;
            open = body;
        }
        text += "  { ModelName \"" + std::string(m.modelName) + "\" PCFileName \"" + m.ppdFileName +
                "\" }\n";
    }
    if (!open.empty()) text += "}\n";
    return text;
}

} // namespace

// Writes the file named by the one argument; exit status 1 on bad data or a failed write.
int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    try {
        const std::string text = ModelBlocks();
        std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
            return 1;
        }
    } catch (const BadCatalogue &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.message.c_str());
        return 1;
    }
    return 0;
}
