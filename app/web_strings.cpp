#include "app/web_strings.h"

#include <set>

#include "app/job_options.h"
#include "common/model_catalogue.h"

namespace {
// One "key" = "text"; line; the texts hold no quotes or backslashes.
void Line(std::string &out, const std::string &key, const std::string &text) {
    out += "\"" + key + "\" = \"" + text + "\";\n";
}
} // namespace

std::string EnglishStrings() {
    std::string out;
    for (const VendorOption &v : VendorOptions()) {
        Line(out, v.attr, v.label);
        for (const KeywordValue &k : AllVendorValues(v))
            Line(out, std::string(v.attr) + "." + k.keyword, k.label);
    }
    std::set<std::string> seen;
    for (const PaperMedia &m : AllPaperMedia())
        if (seen.insert(m.pwgName).second) Line(out, std::string("media.") + m.pwgName, m.ppdText);
    return out;
}

void AddWebStrings(pappl_system_t *system, const std::string &strings) {
    for (const char *lang : {"en", "de", "es", "fr", "it", "ja", "nb-NO", "pl", "tr"}) {
        const std::string path = std::string("/kelvra-") + lang + ".strings";
        papplSystemAddStringsData(system, path.c_str(), lang, strings.c_str());
#ifdef KELVRA_PAPPL_REPEATS_STRINGS_LANGUAGES
        // PAPPL 1.3 adds printer-strings-languages-supported to the printer's own attributes
        // each time a client asks for it, so every answer carried one copy more than the one
        // before (a repeated attribute, and attributes that grow without end). The texts are
        // loaded now; the file stays served without a language, and the printers name no
        // strings languages (nor strings URI).
        papplSystemRemoveResource(system, path.c_str());
        papplSystemAddResourceData(system, path.c_str(), "text/strings", strings.data(),
                                   strings.size());
#endif
    }
}
