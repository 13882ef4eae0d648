#include "filter/job.h"
int RunFilter(int, char *[]) { return 1; }
