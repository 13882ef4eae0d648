// Resolving a job's settings from what CUPS hands the filter.
#pragma once

#include <cups/ppd.h>

#include <cstdio>

#include "common/job_settings.h"

// Fills `s` from the filter's arguments (argv[1] job id to argv[5] options, with the queue's
// defaults for the options they leave out), the queue's PPD (which must have a model name) and
// the operating-system identification `osInfo`; WARNING lines for option values the printer
// does not take go to `log`. False, with an "ERROR:" line, when the job cannot be printed as
// asked (a custom size outside the printer's sizes). Reads nothing else: two jobs can be
// resolved at once.
bool ResolveJobSettings(JobSettings &s, char **argv, ppd_file_t *ppd, const char *osInfo,
                        std::FILE *log = stderr);
