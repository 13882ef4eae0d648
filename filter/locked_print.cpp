// Locked (PIN) printing from the job's options, with the queue's PPD defaults for what the
// options leave out.
#include "filter/locked_print.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "filter/ppd_options.h"
#include "prnt/text_cut.h"

namespace {
// Case-insensitive substring search; returns the first match or null.
const char *FindNoCase(const char *hay, const char *needle) {
    const std::size_t n = std::strlen(needle);
    for (const char *p = hay; *p != '\0'; ++p) {
        if (strncasecmp(p, needle, n) == 0) return p;
    }
    return nullptr;
}

// Appends `text` to the NUL-terminated `buf` of `size` bytes, cutting what does not fit.
void AppendBounded(char *buf, std::size_t size, const char *text) {
    const std::size_t used = strnlen(buf, size);
    if (used + 1 >= size) return;
    std::size_t n = std::strlen(text);
    if (n > size - 1 - used) n = size - 1 - used;
    std::memcpy(buf + used, text, n);
    buf[used + n] = '\0';
}

// Appends the PPD default choice of option `name` (nothing when the PPD has none), without
// characters that could break the PJL line.
void AppendPpdDefault(ppd_file_t *ppd, char *pin, std::size_t size, const char *name) {
    char value[kSelectOptionValueSize] = {};
    GetSelectOption(ppd, name, value);
    AppendBounded(pin, size, SanitizePjlText(value).c_str());
}
} // namespace

bool ispinPrint(const char *parameter, char *pinpasswd, std::size_t pinSize, ppd_file_t *ppd) {
    if (parameter == nullptr || pinpasswd == nullptr || pinSize == 0) {
        std::fputs("-->invalid parameter!\n", stderr);
        return false;
    }
    if (FindNoCase(parameter, "noLockedPinPrint") != nullptr) return false;
    if (const char *lock = FindNoCase(parameter, "LockedPinPrint")) {
        // An explicit "off" (LockedPinPrint=False, as print dialogs send it) is no lock.
        if (lock[14] == '=') {
            const char *v = lock + 15;
            const size_t len = std::strcspn(v, " \t");
            for (const char *off : {"false", "no", "off", "0"})
                if (len == std::strlen(off) && strncasecmp(v, off, len) == 0) return false;
        }
        for (int i = 1; i <= 4; ++i) {
            char name[24];
            std::snprintf(name, sizeof name, "PinNum%d", i);
            const char *opt = FindNoCase(parameter, name);
            if (opt == nullptr) {
                AppendPpdDefault(ppd, pinpasswd, pinSize, name);
                continue;
            }
            const char *eq = std::strchr(opt, '=');
            if (eq == nullptr || eq[1] == '\0') continue;
            const char digit[2] = {eq[1], '\0'};
            AppendBounded(pinpasswd, pinSize, SanitizePjlText(digit).c_str());
        }
        return true;
    }
    char value[kSelectOptionValueSize] = {};
    GetSelectOption(ppd, "LockedPinPrint", value);
    if (strcasecmp(value, "True") != 0) return false;
    for (int i = 1; i <= 4; ++i) {
        char name[24];
        std::snprintf(name, sizeof name, "PinNum%d", i);
        AppendPpdDefault(ppd, pinpasswd, pinSize, name);
    }
    return true;
}
