// JPEG and PNG jobs: the picture is decoded whole (a picture that is cut short or broken prints
// nothing and ends its job with the reason), turned into luminance, placed on the paper as
// print-scaling and orientation-requested say and resampled to the job's resolution. The core
// makes the copies. These filters take the place of PAPPL's own, which divide by zero on very
// narrow pictures, print a cut-off JPEG as complete and report errors only in the log.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>
#include <vector>

// A decoded picture: 8-bit luminance, top row first, and its resolution (0 when unknown).
struct Picture {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> grey;
    double xdpi = 0, ydpi = 0;
};

// Decode a file; false with the reason when it is not a whole picture of a size that can be
// printed.
bool DecodeJpeg(const char *path, Picture &picture, std::string &why);
bool DecodePng(const char *path, Picture &picture, std::string &why);

// Prints the job's JPEG or PNG (`png`) file; false when the job did not print whole.
bool PrintImage(pappl_job_t *job, pappl_device_t *device, bool png);

// pappl_mime_filter_cb_t for "image/jpeg" and "image/png".
bool ImageFilter(pappl_job_t *job, pappl_device_t *device, void *data);
