// The T.82 QM arithmetic coder of one stripe and the chain of 4096-byte nodes its coded bytes
// are gathered in. The image loop feeds decisions through ENCODE / ENCODE_RUN; the rare paths
// (byte output, stripe end, node allocation) live out of line in arith_coder.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jbig/qm_table.h"

constexpr int kBuffSize = 4096;
constexpr int kContexts = 1024;

// One node of the output chain.
struct BUFF {
    unsigned char buffer[kBuffSize];
    int16_t len; // bytes used, 0..4096
    BUFF *next;
};

// QM coder state. ST / MPS live for the whole image; the registers and the chain per stripe.
struct KELVRA_ENCODER {
    uint8_t ST[kContexts];  // probability state (0..112) of each context
    uint8_t MPS[kContexts]; // more probable symbol of each context
    uint32_t C;             // code register
    uint32_t A;             // interval register
    int32_t SC;             // stacked 0xFF bytes not yet written
    int16_t CT;             // shifts left before the next byte leaves C
    int16_t Byte;           // byte held back for carry propagation, -1 while none
    BUFF *last;             // node before buffer, null while the chain has one node
    BUFF *buffer;           // current (last) node of the chain
    BUFF *first;            // first node of the chain, handed out first
    bool nomem;             // a node could not be allocated: output is incomplete
};

using data_out_cb = void (*)(const unsigned char *buffer, size_t len, void *file);

// Allocator of output nodes; tests replace it to exercise the out-of-memory path.
extern void *(*kelvra_buff_alloc)(size_t size);

void arith_init_states(KELVRA_ENCODER &e);
bool arith_stripe_start(KELVRA_ENCODER &e);
void BYTEOUT(KELVRA_ENCODER &e);
void arith_stripe_end(KELVRA_ENCODER &e);
void buff_output(const KELVRA_ENCODER &e, data_out_cb cb, void *file);
void buff_free(KELVRA_ENCODER &e);

// Doubles A and C until A is back in [0x8000, 0x10000), emitting a byte every 8 shifts.
inline void RENORME(KELVRA_ENCODER &e) {
    do {
        e.A <<= 1;
        e.C <<= 1;
        if (--e.CT == 0) BYTEOUT(e);
    } while (e.A < 0x8000);
}

// Codes the more probable symbol of context cx.
inline void CODEMPS(KELVRA_ENCODER &e, unsigned cx) {
    const unsigned s = e.ST[cx];
    const uint32_t lsz = static_cast<uint16_t>(lsztab[s]);
    e.A -= lsz;
    if (e.A >= 0x8000) return;
    if (e.A < lsz) {
        e.C += e.A;
        e.A = lsz;
    }
    e.ST[cx] = nmpstab[s];
    RENORME(e);
}

// Codes the less probable symbol of context cx.
inline void CODELPS(KELVRA_ENCODER &e, unsigned cx) {
    const unsigned s = e.ST[cx];
    const uint32_t lsz = static_cast<uint16_t>(lsztab[s]);
    e.A -= lsz;
    if (e.A >= lsz) {
        e.C += e.A;
        e.A = lsz;
    }
    if (swtch[s]) e.MPS[cx] ^= 1;
    e.ST[cx] = nlpstab[s];
    RENORME(e);
}

// Codes decision pix (0 or 1) in context cx.
inline void ENCODE(KELVRA_ENCODER &e, unsigned cx, unsigned pix) {
    if (pix == e.MPS[cx])
        CODEMPS(e, cx);
    else
        CODELPS(e, cx);
}

// Codes n equal decisions pix in context cx; byte for byte the same as n calls of ENCODE.
// MPS steps that leave A at or above 0x8000 change nothing but A, so they are taken together.
inline void ENCODE_RUN(KELVRA_ENCODER &e, unsigned cx, unsigned pix, uint32_t n) {
    while (n > 0) {
        if (pix != e.MPS[cx]) {
            CODELPS(e, cx);
            --n;
            continue;
        }
        const uint32_t lsz = static_cast<uint16_t>(lsztab[e.ST[cx]]);
        const uint32_t room = e.A - 0x8000; // A >= 0x8000 between decisions
        if (static_cast<uint64_t>(n) * lsz <= room) {
            e.A -= n * lsz;
            return;
        }
        const uint32_t k = room / lsz; // k < n
        e.A -= k * lsz;
        n -= k;
        CODEMPS(e, cx); // this one renormalises
        --n;
    }
}
