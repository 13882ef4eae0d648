// Resolving a job's settings from what CUPS hands the filter.
#pragma once

#include <cups/ppd.h>

#include "common/job_settings.h"

// Fills `s` from the filter's arguments (argv[1] job id to argv[5] options), the queue's PPD
// (which must have a model name) and the operating-system identification `osInfo`. Reads
// nothing else: two jobs can be resolved at once.
void ResolveJobSettings(JobSettings &s, char **argv, ppd_file_t *ppd, const char *osInfo);
