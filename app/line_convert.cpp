#include "app/line_convert.h"

#include <algorithm>
#include <cstring>

#include "core/raster_page.h"

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

namespace {

// The largest page the core takes, in dots at `dpi`.
unsigned MaxDots(unsigned dpi) {
    return static_cast<unsigned>(uint64_t{kMaxPagePoints} * dpi / 72 + 1);
}

// Any 32 bits the client sent in an enumerated header field.
int RawField(const cups_cspace_t &field) {
    int v;
    std::memcpy(&v, &field, sizeof v);
    return v;
}

// 16 bits, most significant byte first, as 8.
uint8_t Sample16(const uint8_t *p) {
    return static_cast<uint8_t>((((unsigned{p[0]} << 8) | p[1]) + 128) / 257);
}

// The luminance of an RGB colour (weights 0.2126, 0.7152, 0.0722, in 256ths).
uint8_t Luma(unsigned r, unsigned g, unsigned b) {
    return static_cast<uint8_t>((54 * r + 183 * g + 19 * b + 128) >> 8);
}

} // namespace

bool LineConverter::Start(const cups_page_header2_t &in, unsigned dpi, std::string &why) {
    const int space = RawField(in.cupsColorSpace);
    const unsigned bpc = in.cupsBitsPerColor, bpp = in.cupsBitsPerPixel;
    const bool grey = space == CUPS_CSPACE_SW || space == CUPS_CSPACE_W || space == CUPS_CSPACE_K;
    const bool rgb =
        space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_ADOBERGB;
    if (grey && bpp == bpc && (bpc == 1 || bpc == 8 || bpc == 16)) {
        samples_ = bpc == 1 ? Samples::Grey1 : bpc == 8 ? Samples::Grey8 : Samples::Grey16;
    } else if (rgb && bpp == 3 * bpc && (bpc == 8 || bpc == 16)) {
        samples_ = bpc == 8 ? Samples::Rgb8 : Samples::Rgb16;
    } else {
        why = "only grey raster of 1, 8 or 16 bits and RGB raster of 8 or 16 bits per colour can "
              "be printed";
        return false;
    }
    int order;
    std::memcpy(&order, &in.cupsColorOrder, sizeof order);
    if (order != CUPS_ORDER_CHUNKED && !grey) { // one grey plane is laid out alike in any order
        why = "only chunky colour raster can be printed";
        return false;
    }
    if (in.HWResolution[0] == 0 || in.HWResolution[1] == 0 || in.cupsWidth == 0 ||
        in.cupsHeight == 0) {
        why = "the page has no size or resolution";
        return false;
    }
    if (in.cupsBytesPerLine < (uint64_t{in.cupsWidth} * bpp + 7) / 8) {
        why = "its lines are shorter than the page is wide";
        return false;
    }
    const uint64_t outW = std::max<uint64_t>(1, uint64_t{in.cupsWidth} * dpi / in.HWResolution[0]);
    const uint64_t outH = std::max<uint64_t>(1, uint64_t{in.cupsHeight} * dpi / in.HWResolution[1]);
    if (outW > MaxDots(dpi) || outH > MaxDots(dpi)) {
        why = "the page is larger than the largest paper";
        return false;
    }
    inverted_ = space == CUPS_CSPACE_K;
    Prepare(in.cupsWidth, in.cupsHeight, static_cast<unsigned>(outW), static_cast<unsigned>(outH));
    direct_ = samples_ == Samples::Grey8 && !inverted_ && outW_ == inW_ && outH_ == inH_;
    return true;
}

void LineConverter::StartScaled(unsigned inW, unsigned inH, unsigned outW, unsigned outH) {
    samples_ = Samples::Grey8;
    inverted_ = false;
    Prepare(std::max(1u, inW), std::max(1u, inH), std::max(1u, outW), std::max(1u, outH));
    direct_ = outW_ == inW_ && outH_ == inH_;
}

void LineConverter::Prepare(unsigned inW, unsigned inH, unsigned outW, unsigned outH) {
    inW_ = inW;
    inH_ = inH;
    outW_ = outW;
    outH_ = outH;
    inRow_ = outRow_ = summed_ = 0;
    cols_ = Spans(inW_, outW_);
    rows_ = Spans(inH_, outH_);
    lum_.assign(inW_, 0xFF);
    row_.assign(outW_, 0xFF);
    sum_.assign(outW_, 0);
}

// The line's first cupsWidth samples as luminance, 0xFF white.
void LineConverter::ToLuminance(const uint8_t *line) {
    const uint8_t flip = inverted_ ? 0xFF : 0;
    switch (samples_) {
    case Samples::Grey1:
        for (unsigned x = 0; x < inW_; ++x)
            lum_[x] = static_cast<uint8_t>(((line[x / 8] >> (7 - x % 8)) & 1 ? 0xFF : 0) ^ flip);
        break;
    case Samples::Grey8:
        for (unsigned x = 0; x < inW_; ++x)
            lum_[x] = line[x] ^ flip;
        break;
    case Samples::Grey16:
        for (unsigned x = 0; x < inW_; ++x)
            lum_[x] = Sample16(line + 2 * x) ^ flip;
        break;
    case Samples::Rgb8:
        for (unsigned x = 0; x < inW_; ++x, line += 3)
            lum_[x] = Luma(line[0], line[1], line[2]);
        break;
    case Samples::Rgb16:
        for (unsigned x = 0; x < inW_; ++x, line += 6)
            lum_[x] = Luma(Sample16(line), Sample16(line + 2), Sample16(line + 4));
        break;
    }
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
