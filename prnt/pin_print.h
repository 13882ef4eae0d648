// The locked (PIN) print job ticket of the QV models: owner, user, job name and, for a
// locked job, the listed name and the PIN.
#pragma once

#include <cstddef>

constexpr std::size_t kPinPrintPJLSize = 2048; // ticket buffer of the job start
constexpr std::size_t kPinBufferSize = 256;    // PIN buffer

// Tells whether the job is a locked print job from its option string (falling back to
// the PPD defaults) and then appends the PIN to `pinpasswd` (`pinSize` bytes in all).
bool ispinPrint(const char *parameter, char *pinpasswd, std::size_t pinSize = kPinBufferSize);

// Builds the ticket into `PinPrintPJL` (`size` bytes) from the filter's argument vector:
// JOBOWNER (when asked), USERNAME, JOBNAME, and for a locked job PINJOBNAME and
// JOBPASSWORD. Names from outside are cleaned of quotes and control characters first.
void GetPinPrintPJL(char **argv, char *PinPrintPJL, bool isneedjobowner,
                    std::size_t size = kPinPrintPJLSize);
