// The exported per-pixel conversion functions and the brightness and contrast tables they rewrite.
#include "cmslib/cms_internal.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace {

// Identity table of 256 entries.
constexpr std::array<uint64_t, 256> IdentityLut() {
    std::array<uint64_t, 256> lut{};
    for (uint64_t i = 0; i < 256; ++i)
        lut[i] = i;
    return lut;
}

// Clamps a value to 0..255 and truncates it toward zero; NaN gives 0.
uint64_t ClampToByte(double value) {
    if (!(value >= 0.0)) return 0;
    if (value > 255.0) return 255;
    return static_cast<uint64_t>(value);
}

} // namespace

// Brightness and contrast tables: the identity until BrightnessLevelLut / ContrastLevelLut rewrite
// them; nothing in the page pipeline reads them.
std::array<uint64_t, 256> brightlut = IdentityLut();
std::array<uint64_t, 256> contrastlut = IdentityLut();

// Grey to ink: channel 0 becomes 255 minus its low byte.
uint64_t MONOtoMONO(CurrS32 *pixel, CurrS32 * /*unused*/) {
    if (pixel == nullptr) return 0;
    pixel->ch[0] = 255u - (pixel->ch[0] & 0xFFu);
    return pixel->ch[0];
}

// Red, green, blue to ink with weights 77, 151 and 28 out of 256.
uint64_t RGBtoMONO(CurrS32 *pixel) {
    if (pixel == nullptr) {
        std::fputs("cms: CurrS32 is NULL!\n", stderr);
        return 0;
    }
    pixel->ch[0] = 255u - ((77u * pixel->ch[0] + 151u * pixel->ch[1] + 28u * pixel->ch[2]) >> 8);
    return pixel->ch[0];
}

// Rewrites entries 1..254 of brightlut as the gamma curve 255 * (i / 255)^(1 / gamma).
int BrightnessLevelLut(float gamma) {
    const double exponent = 1.0 / static_cast<double>(gamma);
    for (int i = 1; i < 255; ++i)
        brightlut[i] = ClampToByte(255.0 * std::pow(i / 255.0, exponent));
    return 0;
}

// Rewrites entries 1..254 of contrastlut as the line (n - 128) * (contrast + 1) + 128.
int ContrastLevelLut(float contrast) {
    const float k = contrast + 1.0f;
    for (int n = 1; n < 255; ++n)
        contrastlut[n] = ClampToByte(static_cast<double>(static_cast<float>(n - 128) * k + 128.0f));
    return 0;
}
