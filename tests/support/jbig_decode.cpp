// libjbig-based helpers for checking the JBIG encoder; see jbig_decode.h.
#include "tests/support/jbig_decode.h"

extern "C" { // JBIG-KIT's headers carry no C++ linkage of their own
#include <jbig.h>
#include <jbig85.h>
}

#include <cstring>

// Writes the header byte by byte: XD, YD and L0 are 32-bit big-endian.
Bytes JbigMakeBih(uint32_t xd, uint32_t yd, uint32_t l0, uint8_t options, uint8_t order) {
    Bytes bih = {0, 0, 1, 0};
    for (uint32_t v : {xd, yd, l0})
        for (int shift = 24; shift >= 0; shift -= 8)
            bih.push_back(uint8_t(v >> shift));
    bih.push_back(0); // MX
    bih.push_back(0); // MY
    bih.push_back(order);
    bih.push_back(options);
    return bih;
}

// Feeds header and data to the full decoder in one go and copies the plane out.
bool JbigDecodeStripes(const Bytes &stripes, uint32_t xd, uint32_t yd, uint32_t l0, uint8_t options,
                       Bytes &bitmap, std::string &error, uint8_t order) {
    Bytes bie = JbigMakeBih(xd, yd, l0, options, order);
    bie.insert(bie.end(), stripes.begin(), stripes.end());
    jbg_dec_state s;
    jbg_dec_init(&s);
    jbg_dec_maxsize(&s, 0xFFFFFFFFul, 0xFFFFFFFFul);
    size_t used = 0;
    const int rc = jbg_dec_in(&s, bie.data(), bie.size(), &used);
    bool ok = false;
    if (rc != JBG_EOK) {
        error = std::string("jbg_dec_in: ") + jbg_strerror(rc) + " after " + std::to_string(used) +
                " of " + std::to_string(bie.size()) + " bytes";
    } else if (used != bie.size()) {
        error = "decoder stopped after " + std::to_string(used) + " of " +
                std::to_string(bie.size()) + " bytes";
    } else if (jbg_dec_getwidth(&s) != xd || jbg_dec_getheight(&s) != yd) {
        error = "decoded size differs";
    } else {
        const unsigned char *plane = jbg_dec_getimage(&s, 0);
        bitmap.assign(plane, plane + jbg_dec_getsize(&s));
        ok = true;
    }
    jbg_dec_free(&s);
    return ok;
}

void AppendToBytes(const unsigned char *chunk, size_t len, void *bytes) {
    auto *out = static_cast<Bytes *>(bytes);
    out->insert(out->end(), chunk, chunk + len);
}

namespace {

// Collects the reference encoder's output.
void collect(unsigned char *start, size_t len, void *file) {
    AppendToBytes(start, len, file);
}

} // namespace

// Runs the reference single-layer encoder line by line.
Bytes Jbg85EncodeStripes(const uint8_t *bitmap, uint32_t xd, uint32_t yd, uint32_t l0) {
    Bytes out;
    jbg85_enc_state s;
    jbg85_enc_init(&s, xd, yd, collect, &out);
    jbg85_enc_options(&s, JBG_TPBON | JBG_LRLTWO, l0, 0);
    const size_t bpl = (xd + 7) / 8;
    auto *data = const_cast<unsigned char *>(bitmap);
    for (uint32_t y = 0; y < yd; ++y) {
        unsigned char *line = data + size_t{y} * bpl;
        jbg85_enc_lineout(&s, line, y > 0 ? line - bpl : nullptr, y > 1 ? line - 2 * bpl : nullptr);
    }
    out.erase(out.begin(), out.begin() + std::min<size_t>(20, out.size()));
    return out;
}

// Cuts after every FF 02 (a coded 0xFF is always followed by 0x00, so the pair is a marker).
std::vector<Bytes> JbigSplitStripes(const Bytes &data) {
    std::vector<Bytes> stripes;
    size_t start = 0;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] != 0xFF) continue;
        if (data[i + 1] == 0x02) {
            stripes.emplace_back(data.begin() + start, data.begin() + i + 2);
            start = i + 2;
        }
        ++i; // skip the byte after 0xFF (stuffing or marker code)
    }
    if (start < data.size()) stripes.emplace_back(data.begin() + start, data.end());
    return stripes;
}

// Trims the coded part in front of the marker as the encoder's FLUSH does.
Bytes JbigTrimTrailingZeros(const Bytes &stripe) {
    if (stripe.size() < 2) return stripe;
    Bytes coded(stripe.begin(), stripe.end() - 2);
    while (!coded.empty() && coded.back() == 0x00)
        coded.pop_back();
    if (!coded.empty() && coded.back() == 0xFF) coded.push_back(0x00);
    coded.push_back(0xFF);
    coded.push_back(0x02);
    return coded;
}
