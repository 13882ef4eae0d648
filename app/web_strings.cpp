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
        if (v.keyword)
            for (const KeywordValue &k : BlankSuppressValues())
                Line(out, std::string(v.attr) + "." + k.keyword, k.label);
    }
    std::set<std::string> seen;
    for (const PaperMedia &m : AllPaperMedia())
        if (seen.insert(m.pwgName).second) Line(out, std::string("media.") + m.pwgName, m.ppdText);
    return out;
}
