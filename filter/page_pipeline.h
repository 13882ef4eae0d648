// One page's road from raster lines to the printer.
#pragma once

#include "filter/job.h"

enum PageResult { PAGE_DONE, PAGE_LEAVE_JOB };

// Reads the current page's raster lines and sends the page.
PageResult ProcessPage(JOB_STATE &job);
