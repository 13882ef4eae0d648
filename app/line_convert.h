// Raster lines as the driver core takes them: 8-bit luminance (0 black) at the job's
// resolution. Pages arrive at the resolution the client or PAPPL chose (PAPPL renders images at
// the middle of the resolution list, a client may send any resolution it was offered), and in
// sGray, white or black 8-bit; the converter turns them into the job's resolution by area
// averaging (down) or pixel replication (up), page line by page line.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class LineConverter {
  public:
    using Emit = std::function<void(const uint8_t *line)>;

    // Prepares a page of `in` for printing at `dpi`; false (with `why`) for raster the driver
    // cannot take: not 8 bits per pixel, or not grey.
    bool Start(const cups_page_header2_t &in, unsigned dpi, std::string &why);
    // Size of the converted page.
    unsigned Width() const { return outW_; }
    unsigned Height() const { return outH_; }
    // Takes the page's next line (the input header's cupsBytesPerLine bytes); calls `emit`
    // for every converted line it completes.
    void Feed(const uint8_t *line, const Emit &emit);

  private:
    // Source range [first, last) of an output index along one axis.
    struct Span {
        unsigned first, last;
    };
    static std::vector<Span> Spans(unsigned in, unsigned out);
    void ToLuminance(const uint8_t *line);
    void ResampleRow();

    bool inverted_ = false; // black-is-high input (CUPS_CSPACE_K)
    bool direct_ = false;   // same resolution, luminance input: lines pass unchanged
    unsigned inW_ = 0, inH_ = 0, outW_ = 0, outH_ = 0;
    unsigned inRow_ = 0, outRow_ = 0;
    std::vector<Span> cols_, rows_;
    std::vector<uint8_t> lum_, row_;
    std::vector<uint32_t> sum_;
    unsigned summed_ = 0; // input rows added into sum_
};
