// Locked (PIN) printing from the job's options, with the queue's defaults for what the options
// leave out.
#include "filter/locked_print.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "filter/queue_options.h"
#include "prnt/text_cut.h"

namespace {
// Appends `text` to the NUL-terminated `buf` of `size` bytes, cutting what does not fit.
void AppendBounded(char *buf, std::size_t size, const char *text) {
    const std::size_t used = strnlen(buf, size);
    if (used + 1 >= size) return;
    std::size_t n = std::strlen(text);
    if (n > size - 1 - used) n = size - 1 - used;
    std::memcpy(buf + used, text, n);
    buf[used + n] = '\0';
}

} // namespace

bool ispinPrint(const QueueOptions &options, char *pinpasswd, std::size_t pinSize) {
    if (pinpasswd == nullptr || pinSize == 0) {
        std::fputs("-->invalid parameter!\n", stderr);
        return false;
    }
    if (!options.IsTrue("LockedPinPrint")) return false;
    for (const char *name : {"PinNum1", "PinNum2", "PinNum3", "PinNum4"}) {
        const char *value = options.Get(name);
        if (value == nullptr || value[0] == '\0') continue;
        const char digit[2] = {value[0], '\0'}; // one digit per option
        AppendBounded(pinpasswd, pinSize, SanitizePjlText(digit).c_str());
    }
    return true;
}

bool ispinPrint(const char *parameter, char *pinpasswd, std::size_t pinSize, ppd_file_t *ppd) {
    if (parameter == nullptr || pinpasswd == nullptr || pinSize == 0) {
        std::fputs("-->invalid parameter!\n", stderr);
        return false;
    }
    return ispinPrint(QueueOptions(parameter, ppd, stderr), pinpasswd, pinSize);
}
