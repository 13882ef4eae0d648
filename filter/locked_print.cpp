// Locked (PIN) printing from the job's options, with the queue's defaults for what the options
// leave out.
#include "filter/locked_print.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "filter/queue_options.h"
#include "prnt/text_cut.h"

bool ispinPrint(const QueueOptions &options, char *pinpasswd, std::size_t pinSize) {
    if (pinpasswd == nullptr || pinSize == 0) {
        std::fputs("-->invalid parameter!\n", stderr);
        return false;
    }
    if (!options.IsTrue("LockedPinPrint")) return false;
    std::string pin(pinpasswd, strnlen(pinpasswd, pinSize));
    for (const char *name : {"PinNum1", "PinNum2", "PinNum3", "PinNum4"}) {
        const char *value = options.Get(name);
        if (value == nullptr || value[0] == '\0') continue;
        const char digit[2] = {value[0], '\0'}; // one digit per option
        pin += SanitizePjlText(digit);
    }
    // Whatever fits of it, within the buffer.
    const std::size_t n = std::min(pin.size(), pinSize - 1);
    std::memcpy(pinpasswd, pin.data(), n);
    pinpasswd[n] = '\0';
    return true;
}

bool ispinPrint(const char *parameter, char *pinpasswd, std::size_t pinSize, ppd_file_t *ppd) {
    if (parameter == nullptr || pinpasswd == nullptr || pinSize == 0) {
        std::fputs("-->invalid parameter!\n", stderr);
        return false;
    }
    return ispinPrint(QueueOptions(parameter, ppd, stderr), pinpasswd, pinSize);
}
