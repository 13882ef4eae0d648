// The filter's job flow: start-up, the job loop over raster pages, job end and cleanup.
#pragma once

// Runs one job as the CUPS filter: argv is job-id user title copies options [file]; the
// printer stream goes to standard output, status lines to standard error. Returns the exit
// code.
int RunFilter(int argc, char *argv[]);
