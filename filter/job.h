// The filter's job flow: start-up, the job loop over raster pages, job end and cleanup.
#pragma once

#include <cups/raster.h>

#include <cstdio>

#include "core/print_job.h"

// Runs one job as the CUPS filter: argv is job-id user title copies options [file]; the
// printer stream goes to standard output, status lines to standard error. Returns the exit
// code.
int RunFilter(int argc, char *argv[]);

// The job below its arguments: prints the pages of the raster stream `ras` with `job` and,
// when the pages ended normally, the job end; status lines go to `log`. Returns how the
// pages ended. Two can run on two threads at once.
JobFlow PrintRasterJob(PrintJob &job, cups_raster_t *ras, std::FILE *log);
