// The JOBTIME value of the platform Z job ticket: minute, hour, day, month, year.
#pragma once

#include <ctime>

// Writes the local time `when` (0: now) as "MM:HH:DD:MM:YYYY\r\n" into `sendTimeCmd` (at
// least kSendTimeSize bytes).
void GetSendTimePJL(char *sendTimeCmd, std::time_t when = 0);
// The same for a given broken-down time; `size` bounds the write.
void FormatSendTimePJL(const std::tm &when, char *sendTimeCmd, int size);
