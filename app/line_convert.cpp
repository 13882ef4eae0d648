#include "app/line_convert.h"

#include <algorithm>
#include <cstring>

// Down (in >= out): output i averages inputs [i*in/out, (i+1)*in/out), at least one. Up: each
// output takes the one input it falls on.
std::vector<LineConverter::Span> LineConverter::Spans(unsigned in, unsigned out) {
    std::vector<Span> spans(out);
    for (unsigned i = 0; i < out; ++i) {
        const auto first = static_cast<unsigned>(uint64_t{i} * in / out);
        const auto end = static_cast<unsigned>(uint64_t{i + 1} * in / out);
        spans[i] = {first, std::min(in, std::max(first + 1, in >= out ? end : first + 1))};
    }
    return spans;
}

bool LineConverter::Start(const cups_page_header2_t &in, unsigned dpi, std::string &why) {
    int space;
    static_assert(sizeof space == sizeof in.cupsColorSpace);
    std::memcpy(&space, &in.cupsColorSpace, sizeof space); // any 32 bits from the client
    if (in.cupsBitsPerPixel != 8 || in.cupsBitsPerColor != 8 ||
        in.cupsBytesPerLine < in.cupsWidth) {
        why = "only 8-bit grey raster can be printed";
        return false;
    }
    if (space != CUPS_CSPACE_SW && space != CUPS_CSPACE_W && space != CUPS_CSPACE_K) {
        why = "only grey raster can be printed";
        return false;
    }
    if (in.HWResolution[0] == 0 || in.HWResolution[1] == 0 || in.cupsWidth == 0 ||
        in.cupsHeight == 0) {
        why = "the page has no size or resolution";
        return false;
    }
    inverted_ = space == CUPS_CSPACE_K;
    inW_ = in.cupsWidth;
    inH_ = in.cupsHeight;
    outW_ = std::max(1u, static_cast<unsigned>(uint64_t{inW_} * dpi / in.HWResolution[0]));
    outH_ = std::max(1u, static_cast<unsigned>(uint64_t{inH_} * dpi / in.HWResolution[1]));
    direct_ = !inverted_ && outW_ == inW_ && outH_ == inH_;
    inRow_ = outRow_ = summed_ = 0;
    if (!direct_) {
        cols_ = Spans(inW_, outW_);
        rows_ = Spans(inH_, outH_);
        lum_.assign(inW_, 0xFF);
        row_.assign(outW_, 0xFF);
        sum_.assign(outW_, 0);
    }
    return true;
}

// Copies the line's first cupsWidth samples as luminance.
void LineConverter::ToLuminance(const uint8_t *line) {
    if (inverted_)
        std::transform(line, line + inW_, lum_.begin(), [](uint8_t v) { return uint8_t(255 - v); });
    else
        std::copy(line, line + inW_, lum_.begin());
}

// Resamples the luminance line across and adds it to the row sums.
void LineConverter::ResampleRow() {
    for (unsigned x = 0; x < outW_; ++x) {
        const Span c = cols_[x];
        uint32_t v = 0;
        for (unsigned i = c.first; i < c.last; ++i)
            v += lum_[i];
        sum_[x] += (v + (c.last - c.first) / 2) / (c.last - c.first);
    }
    ++summed_;
}

// A row completes when its last input row has been added: down, after the span's last row;
// up, every output row on this input row is the same line.
void LineConverter::Feed(const uint8_t *line, const Emit &emit) {
    if (inRow_ >= inH_) return;
    const unsigned y = inRow_++;
    if (direct_) {
        ++outRow_;
        emit(line);
        return;
    }
    ToLuminance(line);
    if (outRow_ >= outH_ || y < rows_[outRow_].first) return;
    ResampleRow();
    while (outRow_ < outH_ && rows_[outRow_].first <= y && rows_[outRow_].last == y + 1) {
        for (unsigned x = 0; x < outW_; ++x)
            row_[x] = static_cast<uint8_t>((sum_[x] + summed_ / 2) / summed_);
        emit(row_.data());
        ++outRow_;
        if (inH_ >= outH_) {
            std::fill(sum_.begin(), sum_.end(), 0);
            summed_ = 0;
        }
    }
    if (inH_ < outH_) { // up: the next input row starts afresh
        std::fill(sum_.begin(), sum_.end(), 0);
        summed_ = 0;
    }
}
