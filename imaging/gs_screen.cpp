// The threshold matrix goes to Ghostscript as a threshold-array halftone of the matrix's period,
// with an identity transfer function so that no curve lies between the grey level and the
// comparison.
#include "imaging/gs_screen.h"

#include <cstdio>

#include "imaging/halftone.h"

namespace {

// clang-format off
// Written by tools/gen_gs_transfer.cpp.
const int kTransferSamples[256] = {
       95,   160,   349,   416,   603,   672,   857,   928,  1111,  1184,  1365,  1440,  1619,  1696,  1873,  1952,
     2127,  2209,  2380,  2466,  2633,  2721,  2888,  2976,  3143,  3231,  3398,  3486,  3653,  3741,  3908,  3996,
     4163,  4250,  4419,  4504,  4675,  4758,  4931,  5012,  5185,  5268,  5439,  5524,  5693,  5780,  5947,  6036,
     6201,  6293,  6454,  6550,  6707,  6807,  6960,  7064,  7213,  7321,  7466,  7578,  7719,  7833,  7974,  8088,
     8229,  8342,  8485,  8596,  8741,  8850,  8997,  9104,  9253,  9358,  9509,  9612,  9765,  9866, 10021, 10120,
    10275, 10377, 10528, 10634, 10781, 10891, 11034, 11148, 11287, 11405, 11540, 11662, 11792, 11920, 12045, 12177,
    12298, 12432, 12553, 12685, 12810, 12938, 13067, 13192, 13323, 13446, 13579, 13700, 13835, 13954, 14091, 14208,
    14347, 14463, 14602, 14718, 14857, 14973, 15112, 15228, 15365, 15485, 15618, 15742, 15871, 15999, 16124, 16256,
    16377, 16511, 16632, 16766, 16887, 17021, 17142, 17276, 17397, 17531, 17652, 17784, 17909, 18037, 18166, 18291,
    18422, 18546, 18677, 18801, 18932, 19056, 19187, 19311, 19442, 19566, 19697, 19821, 19952, 20076, 20207, 20331,
    20463, 20584, 20717, 20840, 20971, 21096, 21224, 21352, 21479, 21607, 21734, 21862, 21989, 22117, 22244, 22372,
    22499, 22629, 22752, 22884, 23007, 23139, 23262, 23394, 23517, 23649, 23772, 23904, 24027, 24159, 24282, 24414,
    24538, 24666, 24795, 24920, 25051, 25174, 25305, 25430, 25558, 25686, 25813, 25941, 26068, 26196, 26323, 26451,
    26578, 26708, 26831, 26965, 27084, 27222, 27337, 27479, 27590, 27736, 27843, 27991, 28098, 28246, 28353, 28501,
    28609, 28753, 28866, 29006, 29123, 29259, 29380, 29512, 29637, 29765, 29894, 30019, 30150, 30273, 30404, 30529,
    30658, 30786, 30911, 31043, 31164, 31300, 31417, 31557, 31670, 31814, 31923, 32071, 32176, 32328, 32429, 32585,
};
// clang-format on

// Hex digits of one byte.
void AppendHex(std::string &out, unsigned v) {
    static const char kDigits[] = "0123456789abcdef";
    out += kDigits[v >> 4 & 15];
    out += kDigits[v & 15];
}

} // namespace

bool GhostscriptHalftonesExactly(const ScreenSpec &screen) {
    return screen.bits == 1 && screen.matrix != ScreenMatrix::None;
}

// The matrix goes in as a string filled by pieces of hex data, the transfer samples as an
// array; the Install procedure takes both in at scan time (//), so it needs no dictionary.
std::vector<std::string> GhostscriptScreenSetup(const ScreenSpec &screen, unsigned shift) {
    if (!GhostscriptHalftonesExactly(screen)) return {};
    const HT_SCREEN m = SelectHalftoneScreen(screen.matrix);
    const int cells = m.period * m.period;
    std::vector<std::string> setup;
    setup.push_back("/KelvraThresholds " + std::to_string(cells) + " string def");
    constexpr int kChunk = 900; // thresholds per statement
    for (int first = 0; first < cells; first += kChunk) {
        std::string s = "KelvraThresholds " + std::to_string(first) + " <";
        for (int i = first; i < cells && i < first + kChunk; ++i)
            AppendHex(s, m.table[(i / m.period) * m.stride +
                                 (i % m.period + m.period - shift % m.period) % m.period]);
        setup.push_back(s + "> putinterval");
    }
    std::string samples = "/KelvraTransfer [";
    for (int v : kTransferSamples)
        samples += std::to_string(v) + ' ';
    setup.push_back(samples + "] def");
    const std::string n = std::to_string(m.period);
    setup.push_back("<</Install {{255 mul round cvi //KelvraTransfer exch get 32760 div} "
                    "settransfer <</HalftoneType 3 /Width " +
                    n + " /Height " + n +
                    " /Thresholds //KelvraThresholds>> sethalftone} bind>> setpagedevice");
    return setup;
}
