// The locked (PIN) print job ticket of the QV models: owner, user, job name and, for a
// locked job, the listed name and the PIN.
#pragma once

#include <cstddef>
#include <cstdio>

#include "common/job_settings.h"

constexpr std::size_t kPinPrintPJLSize = 2048; // ticket buffer of the job start
constexpr std::size_t kPinBufferSize = 256;    // PIN buffer

// Builds the ticket into `PinPrintPJL` (`size` bytes) from who sent the job: JOBOWNER (when
// asked), USERNAME, JOBNAME, and for a locked job PINJOBNAME and JOBPASSWORD with `pin`.
// Names from outside are cleaned of quotes and control characters first. Its notes go to `log`
// (the job's status lines; none: dropped).
void GetPinPrintPJL(const JobIdentity &identity, bool locked, const char *pin, char *PinPrintPJL,
                    bool isneedjobowner, std::size_t size = kPinPrintPJLSize,
                    std::FILE *log = nullptr);
