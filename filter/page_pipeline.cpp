#include "filter/page_pipeline.h"

#include <cstdio>
#include <vector>

#include "common/globals.h"
#include "filter/cups_binding.h"

// Reads and drops the page's lines (the page pipeline proper replaces this body).
PageResult ProcessPage(JOB_STATE &job) {
    std::vector<unsigned char> line(job.header.cupsBytesPerLine);
    for (unsigned y = 0; y < job.header.cupsHeight && !Canceled; ++y)
        if (pfcupsRasterReadPixels(job.ras, line.data(), job.header.cupsBytesPerLine) == 0) break;
    return PAGE_DONE;
}
