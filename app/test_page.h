// The driver's test page, printed from the printer's web page ("Print Test Page"): a one-page
// PDF made when asked, on the printer's default paper, that goes through the same job path as
// any PDF document.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <string>

// What the page shows: the model, the paper and its size and margins (points, hundredths of a
// millimetre for the texts).
struct TestPageInfo {
    std::string model;
    std::string paper; // PWG media name
    int widthHmm = 0;  // paper size
    int lengthHmm = 0;
    int leftRightHmm = 0; // unprintable margins
    int bottomTopHmm = 0;
};

// The PDF: a frame on the margins, millimetre rulers along its top and left edges, the model
// and paper, a grey ramp in steps of 10 %, and density patches (solid black, a hairline grid,
// small text). A few kilobytes.
std::string TestPagePdf(const TestPageInfo &info);

// pappl_pr_testpage_cb_t: writes the page into the server's spool directory, where PAPPL
// removes it with its job; returns its path in `buffer`, or null when it cannot be written.
const char *TestPageCallback(pappl_printer_t *printer, char *buffer, std::size_t bufsize);
