// Raster lines as the driver core takes them: 8-bit luminance (0 black) at the job's
// resolution. Pages arrive at the resolution the client or a filter chose (a client may send
// any resolution it was offered), in grey (1, 8 or 16 bits, white or black high) or RGB (8 or
// 16 bits per colour); the converter turns each line into luminance and the page into the job's
// resolution by area averaging (down) or pixel replication (up), page line by page line. The
// image filter uses the same resampling to scale a picture to its place on the page.
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
    // cannot take: another colour space or depth, planes instead of chunky pixels, lines shorter
    // than their pixels, or no size.
    bool Start(const cups_page_header2_t &in, unsigned dpi, std::string &why);
    // Prepares 8-bit luminance lines of `inW` x `inH` pixels for scaling to `outW` x `outH`.
    void StartScaled(unsigned inW, unsigned inH, unsigned outW, unsigned outH);
    // Size of the converted page.
    unsigned Width() const { return outW_; }
    unsigned Height() const { return outH_; }
    // Takes the page's next line (the input header's cupsBytesPerLine bytes); calls `emit`
    // for every converted line it completes.
    void Feed(const uint8_t *line, const Emit &emit);

  private:
    // How a line's samples become luminance.
    enum class Samples { Grey1, Grey8, Grey16, Rgb8, Rgb16 };
    // Source range [first, last) of an output index along one axis.
    struct Span {
        unsigned first, last;
    };
    static std::vector<Span> Spans(unsigned in, unsigned out);
    void Prepare(unsigned inW, unsigned inH, unsigned outW, unsigned outH);
    void ToLuminance(const uint8_t *line);
    void ResampleRow();

    Samples samples_ = Samples::Grey8;
    bool inverted_ = false; // black-is-high input (CUPS_CSPACE_K)
    bool direct_ = false;   // same size, 8-bit luminance input: lines pass unchanged
    unsigned inW_ = 0, inH_ = 0, outW_ = 0, outH_ = 0;
    unsigned inRow_ = 0, outRow_ = 0;
    std::vector<Span> cols_, rows_;
    std::vector<uint8_t> lum_, row_;
    std::vector<uint32_t> sum_;
    unsigned summed_ = 0; // input rows added into sum_
};
