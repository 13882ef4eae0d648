#include "app/autoadd.h"

#include <pappl/pappl.h>

#include <cctype>
#include <string>

#include "app/app_context.h"
#include "common/model_catalogue.h"

namespace {

// Lower case, single spaces, no space at either end, no trailing " series".
std::string Normalise(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u)) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += static_cast<char>(std::tolower(u));
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    constexpr std::string_view kSeries = " series";
    if (out.size() > kSeries.size() && out.ends_with(kSeries))
        out.resize(out.size() - kSeries.size());
    return out;
}

// The value of the first of two keys in the parsed ID, or empty.
std::string Value(int count, cups_option_t *pairs, const char *key, const char *altKey) {
    const char *v = cupsGetOption(key, count, pairs);
    if (v == nullptr) v = cupsGetOption(altKey, count, pairs);
    return v ? v : "";
}

} // namespace

const ModelInfo *MatchDeviceID(std::string_view deviceId) {
    const std::string id(deviceId);
    cups_option_t *pairs = nullptr;
    const int count = papplDeviceParseID(id.c_str(), &pairs);
    const std::string maker = Normalise(Value(count, pairs, "MFG", "MANUFACTURER"));
    const std::string model = Normalise(Value(count, pairs, "MDL", "MODEL"));
    cupsFreeOptions(count, pairs);
    if (model.empty()) return nullptr;
    for (const ModelInfo &m : AllModels()) {
        const std::string full = Normalise(m.modelName);
        const std::string make = Normalise(m.manufacturer);
        if (model == full) return &m;
        const bool makerFits = maker.empty() || maker == make;
        if (makerFits && full.starts_with(make + " ") && model == full.substr(make.size() + 1))
            return &m;
    }
    return nullptr;
}

// The driver names live in the context's driver table for the server's lifetime.
const char *AutoAddCallback(const char *, const char *, const char *device_id, void *data) {
    const auto *app = static_cast<const AppContext *>(data);
    const ModelInfo *m = MatchDeviceID(device_id ? device_id : "");
    if (m == nullptr || app == nullptr) return nullptr;
    for (const std::string &name : app->driverNames)
        if (name == m->DriverName()) return name.c_str();
    return nullptr;
}
