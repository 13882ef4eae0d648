#include "filter/ppd_options.h"

#include <cstdio>
#include <cstring>

// CUPS's PPD interface is deprecated but remains the only way to read a queue's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Copies the option's default choice as the PPD file states it (marking choices does not
// change it).
bool GetSelectOption(ppd_file_t *ppd, const char *opt_str, char *opt_value) {
    if (opt_str == nullptr || opt_value == nullptr) {
        std::fputs("-->invalid parameter!\n", stderr);
        return false;
    }
    if (ppd == nullptr) return false;
    ppd_option_t *opt = ppdFindOption(ppd, opt_str);
    if (opt == nullptr) return false;
    std::fprintf(stderr, "-->opt_str:%s, opt->defchoices :%s.\n", opt_str, opt->defchoice);
    const std::size_t len = strnlen(opt->defchoice, kSelectOptionValueSize - 1);
    std::memcpy(opt_value, opt->defchoice, len);
    opt_value[len] = '\0';
    return true;
}
