#include "filter/ppd_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <cups/ppd.h>

// CUPS's PPD interface is deprecated but remains the only way to read a queue's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {
struct PpdCloser {
    void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
} // namespace

// Opens the PPD for this lookup alone and copies the option's default choice. The PPD
// is closed on every path, including when the option is missing.
bool GetSelectOption(const char *opt_str, char *opt_value) {
    if (opt_str == nullptr || opt_value == nullptr) {
        std::fputs("-->invalid parameter!\n", stderr);
        return false;
    }
    const char *path = std::getenv("PPD");
    if (path == nullptr) return false;
    std::unique_ptr<ppd_file_t, PpdCloser> ppd(ppdOpenFile(path));
    if (!ppd) return false;
    ppd_option_t *opt = ppdFindOption(ppd.get(), opt_str);
    if (opt == nullptr) return false;
    std::fprintf(stderr, "-->opt_str:%s, opt->defchoices :%s.\n", opt_str, opt->defchoice);
    const std::size_t len = strnlen(opt->defchoice, kSelectOptionValueSize - 1);
    std::memcpy(opt_value, opt->defchoice, len);
    opt_value[len] = '\0';
    return true;
}
