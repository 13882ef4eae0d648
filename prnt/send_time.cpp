#include "prnt/send_time.h"

#include "prnt/fixed_commands.h"

#include <cstdio>

void FormatSendTimePJL(const std::tm &when, char *sendTimeCmd, int size) {
    if (sendTimeCmd == nullptr || size <= 0) return;
    // The minute comes first, then the hour.
    std::snprintf(sendTimeCmd, static_cast<std::size_t>(size), "%02d:%02d:%02d:%02d:%04d\r\n",
                  when.tm_min, when.tm_hour, when.tm_mday, when.tm_mon + 1, when.tm_year + 1900);
}

void GetSendTimePJL(char *sendTimeCmd, std::time_t when) {
    const std::time_t now = when != 0 ? when : std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    FormatSendTimePJL(local, sendTimeCmd, kSendTimeSize);
}
