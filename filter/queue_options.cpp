#include "filter/queue_options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "common/option_catalogue.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

bool OneOf(const char *value, std::initializer_list<const char *> words) {
    for (const char *w : words)
        if (strcasecmp(value, w) == 0) return true;
    return false;
}

// The PPD's spelling of `value` among the option's choices (ignoring case), or null when it is
// not one of them.
const char *ChoiceOf(ppd_option_t *option, const char *value) {
    for (int i = 0; i < option->num_choices; ++i)
        if (strcasecmp(option->choices[i].choice, value) == 0) return option->choices[i].choice;
    // An on/off option (the choices True and False only) also takes yes/no, on/off and 1/0.
    if (option->num_choices != 2) return nullptr;
    const char *wanted = OptionTextIsTrue(value)    ? "True"
                         : OptionTextIsFalse(value) ? "False"
                                                    : nullptr;
    if (wanted != nullptr)
        for (int i = 0; i < option->num_choices; ++i)
            if (strcasecmp(option->choices[i].choice, wanted) == 0)
                return option->choices[i].choice;
    return nullptr;
}

// The PPD option that an IPP attribute of the job stands for, with its value in the PPD's
// terms; null when the job has no such attribute (or its value means nothing here). A switch
// takes the words for true and false, other options their choices' IPP keywords or the
// keywords' enum numbers ("print-quality=5" is high).
const char *FromIppName(const OptionDescriptor &d, int count, cups_option_t *options) {
    if (d.jobAttr[0] != '\0') {
        if (const char *v = cupsGetOption(d.jobAttr, count, options)) {
            if (d.choices.ui == PpdUi::Boolean)
                return OptionTextIsFalse(v) ? "False" : OptionTextIsTrue(v) ? "True" : nullptr;
            for (const OptionChoice &c : d.choices.Rows()) {
                if (c.alias || c.ipp[0] == '\0') continue;
                const std::string number = std::to_string(ippEnumValue(d.jobAttr, c.ipp));
                if (strcasecmp(v, c.ipp) == 0 || number == v) return c.ppd;
            }
            return nullptr;
        }
    }
    // Collated copies are also asked for as a document handling.
    if (d.setting == Setting::Collate) {
        if (const char *v = cupsGetOption("multiple-document-handling", count, options))
            return strcasecmp(v, "separate-documents-uncollated-copies") == 0 ? "False" : "True";
    }
    return nullptr;
}

} // namespace

bool OptionTextIsTrue(const char *value) {
    return value != nullptr && OneOf(value, {"true", "yes", "on", "1"});
}

bool OptionTextIsFalse(const char *value) {
    return value != nullptr && OneOf(value, {"false", "no", "off", "0"});
}

QueueOptions::QueueOptions(const char *jobOptions, ppd_file_t *ppd, std::FILE *log) {
    jobCount_ = cupsParseOptions(jobOptions != nullptr ? jobOptions : "", 0, &jobOptions_);
    for (int i = 0; i < jobCount_; ++i)
        count = cupsAddOption(jobOptions_[i].name, jobOptions_[i].value, count, &options);
    // The catalogued options of the PPDs.
    for (const OptionDescriptor &d : OptionCatalogue()) {
        if (d.choices.ui == PpdUi::None) continue;
        const char *name = d.keyword;
        const char *value = cupsGetOption(name, jobCount_, jobOptions_);
        if (value == nullptr) value = FromIppName(d, jobCount_, jobOptions_);
        ppd_option_t *option = ppd != nullptr ? ppdFindOption(ppd, name) : nullptr;
        if (option == nullptr) {
            if (value != nullptr) count = cupsAddOption(name, value, count, &options);
            continue;
        }
        const char *choice = value != nullptr ? ChoiceOf(option, value) : nullptr;
        if (value != nullptr && choice == nullptr)
            std::fprintf(log,
                         "WARNING: %s=%s is not one of the printer's choices; the queue's "
                         "default %s=%s is used\n",
                         name, value, name, option->defchoice);
        count =
            cupsAddOption(name, choice != nullptr ? choice : option->defchoice, count, &options);
    }
    // Print quality: "high" is the 1200-dpi mode unless the job sets that mode itself.
    if (cupsGetOption("DPI1200", jobCount_, jobOptions_) == nullptr) {
        const char *quality = Get("cupsPrintQuality");
        if (quality != nullptr &&
            (JobNamed("cupsPrintQuality") || strcasecmp(quality, "High") == 0))
            count = cupsAddOption("DPI1200", strcasecmp(quality, "High") == 0 ? "True" : "False",
                                  count, &options);
    }
}

QueueOptions::~QueueOptions() {
    cupsFreeOptions(count, options);
    cupsFreeOptions(jobCount_, jobOptions_);
}

const char *QueueOptions::Get(const char *name) const {
    return cupsGetOption(name, count, options);
}

bool QueueOptions::JobNamed(const char *name) const {
    const OptionDescriptor *d = FindOption(name);
    return cupsGetOption(name, jobCount_, jobOptions_) != nullptr ||
           (d != nullptr && FromIppName(*d, jobCount_, jobOptions_) != nullptr);
}

bool QueueOptions::IsTrue(const char *name) const {
    return OptionTextIsTrue(Get(name));
}

CustomSize CustomPageSizePoints(const char *jobOptions, double &width, double &height,
                                std::string &text) {
    cups_option_t *options = nullptr;
    const int count = cupsParseOptions(jobOptions != nullptr ? jobOptions : "", 0, &options);
    const char *value = cupsGetOption("PageSize", count, options);
    if (value == nullptr || strncasecmp(value, "Custom.", 7) != 0)
        value = cupsGetOption("media", count, options);
    CustomSize result = CustomSize::None;
    if (value != nullptr && strncasecmp(value, "Custom.", 7) == 0) {
        result = CustomSize::Unreadable;
        text = value + 7;
        const char *w = value + 7;
        char *end = nullptr;
        width = std::strtod(w, &end);
        if (end != w && (*end == 'x' || *end == 'X')) {
            const char *h = end + 1;
            height = std::strtod(h, &end);
            static constexpr struct {
                char name[4];
                double points;
            } kUnits[] = {{"", 1},           {"pt", 1},         {"in", 72},        {"ft", 864},
                          {"cm", 72 / 2.54}, {"mm", 72 / 25.4}, {"m", 72 / 0.0254}};
            for (const auto &u : kUnits) {
                if (end == h || strcasecmp(end, u.name) != 0) continue;
                width *= u.points;
                height *= u.points;
                if (std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0)
                    result = CustomSize::Read;
                break;
            }
        }
    }
    cupsFreeOptions(count, options);
    return result;
}
