#pragma once
// The filter's job flow: start-up, the job loop over raster pages, job end, cleanup.
int RunFilter(int argc, char *argv[]);
