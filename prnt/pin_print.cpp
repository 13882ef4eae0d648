#include "prnt/pin_print.h"

#include "common/ppd_options.h"
#include "prnt/fixed_commands.h"
#include "prnt/text_cut.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {
constexpr std::size_t kLineSize = 256;         // one ticket line
constexpr std::size_t kJobNameLineSize = 1024; // the JOBNAME line
constexpr std::size_t kHostNameSize = 256;

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

// Appends the PPD default choice of option `name` (nothing when the PPD has none),
// without characters that could break the PJL line.
void AppendPpdDefault(char *pin, std::size_t size, const char *name) {
    char value[kSelectOptionValueSize] = {};
    GetSelectOption(name, value);
    AppendBounded(pin, size, SanitizePjlText(value).c_str());
}

// Formats one template line around `value`, whose tail was cut to `keep` characters and
// to the bytes that the line buffer of `lineSize` leaves for it, and appends the line.
void AppendLine(char *ticket, std::size_t size, const char *tmpl, const std::string &value,
                int keep, std::size_t lineSize) {
    const std::size_t overhead = std::strlen(tmpl) - 2; // the template without "%s"
    std::string cut(lineSize - overhead, '\0');
    Getsubtext(cut.data(), keep, value.c_str(), cut.size());
    char line[kJobNameLineSize];
    std::snprintf(line, lineSize, tmpl, cut.c_str());
    AppendBounded(ticket, size, line);
}
} // namespace

bool ispinPrint(const char *parameter, char *pinpasswd, std::size_t pinSize) {
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
                AppendPpdDefault(pinpasswd, pinSize, name);
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
    GetSelectOption("LockedPinPrint", value);
    if (strcasecmp(value, "True") != 0) return false;
    for (int i = 1; i <= 4; ++i) {
        char name[24];
        std::snprintf(name, sizeof name, "PinNum%d", i);
        AppendPpdDefault(pinpasswd, pinSize, name);
    }
    return true;
}

void GetPinPrintPJL(char **argv, char *PinPrintPJL, bool isneedjobowner, std::size_t size) {
    if (PinPrintPJL == nullptr || size == 0) {
        std::fputs("-->invalid parameter!\n", stderr);
        return;
    }
    PinPrintPJL[0] = '\0';
    if (argv == nullptr) {
        std::fputs("-->invalid parameter!\n", stderr);
        return;
    }
    char pin[kPinBufferSize] = {};
    const bool locked = ispinPrint(argv[5], pin, sizeof pin);
    if (!locked) std::fputs("-->pin print isn't need!\n", stderr);

    if (isneedjobowner) {
        char host[kHostNameSize] = {};
        if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
        const std::string owner = "kv" + SanitizePjlText(host);
        AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_JOBOWNER, owner, 63, kLineSize);
    }
    const std::string user = SanitizePjlText(argv[2]);
    AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_USRNAME, user, 20, kLineSize);

    std::string title = SanitizePjlText(argv[3]);
    if (const auto slash = title.rfind('/'); slash != std::string::npos)
        title = title.substr(slash + 1);
    if (title.empty()) title = SanitizePjlText(argv[1]);
    AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_JOBNAME, title, 256, kJobNameLineSize);

    if (locked) {
        AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_PINJOBNAME, user, 20, kLineSize);
        // The PIN is already clean and at most 255 bytes: it goes in whole.
        char line[kLineSize];
        std::snprintf(line, sizeof line, CMD_PJL_PINPRINT_JOBPASSWD, pin);
        AppendBounded(PinPrintPJL, size, line);
    }
}
