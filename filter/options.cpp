#include "filter/options.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>

#include "common/option_catalogue.h"
#include "filter/ppd_options.h"
#include "filter/queue_options.h"

// CUPS's PPD interface is deprecated but remains the only way to read a queue's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// Reads a decimal integer the way atoi does ("12abc" is 12, "abc" is 0) but clamps values
// outside the int range instead of overflowing.
int ReadDecimal(const char *text) {
    const long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Position of `needle` in `hay` ignoring ASCII case, or npos.
std::size_t FindNoCase(std::string_view hay, std::string_view needle, std::size_t from = 0) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && LowerAscii(hay[i + k]) == LowerAscii(needle[k]))
            ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

// Copies `text` cut to `size` - 1 bytes into `dest` and terminates it.
void CopyCut(char *dest, std::size_t size, std::string_view text) {
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n > 0) std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
}

// The first `limit` characters of `text` as a terminated string, for the number readers.
std::string CutText(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

} // namespace

// The duplex follows the page header's request; every catalogued option follows the job's
// options when they name it.
void GetFunctionValue(PrintOptions &printOptions, int num_option, cups_option_t *options,
                      const cups_page_header2_t *header) {
    if (header != nullptr) {
        int duplex = 0;
        // The raster stream may carry any 32-bit value in these boolean fields: read them
        // as plain numbers.
        unsigned int duplexField = 0, tumbleField = 0;
        std::memcpy(&duplexField, &header->Duplex, sizeof duplexField);
        std::memcpy(&tumbleField, &header->Tumble, sizeof tumbleField);
        if (duplexField == 1) duplex = tumbleField == 0 ? 1 : tumbleField == 1 ? 2 : 0;
        printOptions.duplex = static_cast<Duplex>(duplex);
        std::fprintf(stderr, "DEBUG: ##Duplex = %d\n", duplex);
    }
    for (const OptionDescriptor &d : OptionCatalogue()) {
        if (d.setting == Setting::None) continue;
        if (const char *text = cupsGetOption(d.keyword, num_option, options))
            d.Apply(text, printOptions);
    }
}

// Blank suppression as the option catalogue maps the value ("PrinterSetting" leaves the
// printer's own setting, false turns it off, any other value on); no value at all is off.
int isBlankSuppress(const QueueOptions &options) {
    const OptionDescriptor &blank = *FindOption("BlankSuppress");
    const char *value = options.Get(blank.keyword);
    return value == nullptr ? 2 : blank.Value(value);
}

int isBlankSuppress(const char *parameter, ppd_file_t *ppd) {
    if (parameter == nullptr) {
        std::fputs("-->parameter is NULL!\n", stderr);
        return 2;
    }
    return isBlankSuppress(QueueOptions(parameter, ppd, stderr));
}

// 1200 dpi when the DPI1200 option (or the print quality "high") is true.
int is1200dpiprint(const QueueOptions &options) {
    return options.IsTrue("DPI1200") ? 2 : 1;
}

int is1200dpiprint(const char *parameter, ppd_file_t *ppd) {
    if (parameter == nullptr) {
        std::fputs("-->invalid parameter!\n", stderr);
        return 1;
    }
    return is1200dpiprint(QueueOptions(parameter, ppd, stderr));
}

// The media name is the "PageSize" value, or the "Media" value in front of its "(",
// cut to the caller's buffer.
bool Getmediasizename(char *argv[], char *medianame, std::size_t medianameSize) {
    if (medianame == nullptr || medianameSize == 0 || argv == nullptr || argv[5] == nullptr)
        return false;
    cups_option_t *options = nullptr;
    const int num = cupsParseOptions(argv[5], 0, &options);
    std::string_view name;
    if (const char *pageSize = cupsGetOption("PageSize", num, options)) {
        name = pageSize;
    } else if (const char *media = cupsGetOption("Media", num, options)) {
        const std::string_view value = media;
        const std::size_t paren = value.find('(');
        if (paren != std::string_view::npos) name = value.substr(0, paren);
    }
    CopyCut(medianame, medianameSize, name);
    cupsFreeOptions(num, options);
    return true;
}

// Custom size from "PageSize=Custom.<w>x<h>" (points, unit suffixes ignored). The value
// ends at the next space; a value without "x", or with a size that is not a finite,
// non-negative number, is not a custom size.
bool GetCustomSize(const char *parameter, float *width, float *height, bool isastra) {
    if (parameter == nullptr || width == nullptr || height == nullptr) return false;
    constexpr std::size_t kSizeTextLimit = 39;
    const std::string_view text = parameter;
    const std::string_view key = "PageSize=Custom.";
    const std::size_t p = FindNoCase(text, key);
    if (p != std::string_view::npos) {
        std::size_t end = text.find(' ', p);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view value = text.substr(p + key.size(), end - p - key.size());
        const std::size_t x = value.find('x');
        if (x != std::string_view::npos) {
            const float w =
                std::strtof(CutText(value.substr(0, x), kSizeTextLimit).c_str(), nullptr);
            const float h =
                std::strtof(CutText(value.substr(x + 1), kSizeTextLimit).c_str(), nullptr);
            if (std::isfinite(w) && std::isfinite(h) && w >= 0.0f && h >= 0.0f) {
                *width = w;
                *height = h;
                if (isastra) {
                    int top = 0, bottom = 0, right = 0, left = 0;
                    GetPageMargins(parameter, &top, &bottom, &right, &left);
                    *width += static_cast<float>(right) + static_cast<float>(left);
                    *height += static_cast<float>(top) + static_cast<float>(bottom);
                }
                return true;
            }
        }
    }
    *width = 595.0f;
    *height = 842.0f;
    return false;
}

// Each "page-*" margin present in the option string is set from the text after its "="
// up to the next space or the end of the string, at most 3 characters of it.
void GetPageMargins(const char *parameter, int *pagetop, int *pagebottom, int *pageright,
                    int *pageleft) {
    if (parameter == nullptr) return;
    constexpr std::size_t kMarginTextLimit = 3;
    const std::string_view text = parameter;
    const struct {
        const char *key;
        int *margin;
    } margins[] = {{"page-top", pagetop},
                   {"page-bottom", pagebottom},
                   {"page-right", pageright},
                   {"page-left", pageleft}};
    for (const auto &m : margins) {
        const std::size_t pos = FindNoCase(text, m.key);
        if (pos == std::string_view::npos || m.margin == nullptr) continue;
        std::size_t end = text.find(' ', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view option = text.substr(pos, end - pos);
        const std::size_t eq = option.find('=');
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : option.substr(eq + 1);
        *m.margin = ReadDecimal(CutText(value, kMarginTextLimit).c_str());
    }
}
