#include "prnt/pin_print.h"

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

// Appends `text` to the NUL-terminated `buf` of `size` bytes, cutting what does not fit.
void AppendBounded(char *buf, std::size_t size, const char *text) {
    const std::size_t used = strnlen(buf, size);
    if (used + 1 >= size) return;
    std::size_t n = std::strlen(text);
    if (n > size - 1 - used) n = size - 1 - used;
    std::memcpy(buf + used, text, n);
    buf[used + n] = '\0';
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

void GetPinPrintPJL(const JobIdentity &identity, bool locked, const char *pin, char *PinPrintPJL,
                    bool isneedjobowner, std::size_t size, std::FILE *log) {
    if (PinPrintPJL == nullptr || size == 0) {
        if (log != nullptr) std::fputs("-->invalid parameter!\n", log);
        return;
    }
    PinPrintPJL[0] = '\0';
    if (!locked && log != nullptr) std::fputs("-->pin print isn't need!\n", log);

    if (isneedjobowner) {
        const std::string owner = "kv" + SanitizePjlText(identity.host.c_str());
        AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_JOBOWNER, owner, 63, kLineSize);
    }
    const std::string user = SanitizePjlText(identity.user.c_str());
    AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_USRNAME, user, 20, kLineSize);

    std::string title = SanitizePjlText(identity.title.c_str());
    if (const auto slash = title.rfind('/'); slash != std::string::npos)
        title = title.substr(slash + 1);
    if (title.empty()) title = SanitizePjlText(identity.jobIdText.c_str());
    AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_JOBNAME, title, 256, kJobNameLineSize);

    if (locked) {
        AppendLine(PinPrintPJL, size, CMD_PJL_PINPRINT_PINJOBNAME, user, 20, kLineSize);
        // The PIN is cleaned like every text from outside and cut so that the line keeps its
        // closing quote and line end.
        char line[kLineSize];
        std::string clean = SanitizePjlText(pin);
        const std::size_t room = kLineSize - (std::strlen(CMD_PJL_PINPRINT_JOBPASSWD) - 2) - 1;
        if (clean.size() > room) clean.resize(room);
        std::snprintf(line, sizeof line, CMD_PJL_PINPRINT_JOBPASSWD, clean.c_str());
        AppendBounded(PinPrintPJL, size, line);
    }
}
