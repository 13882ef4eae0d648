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

// The registers A, C and CT while a stripe is being coded. The image loop keeps them in a local
// copy (so they live in machine registers) and syncs the record only around byte output and
// the stripe end.
struct QM_REGS {
    uint32_t C;
    uint32_t A;
    int CT;
};

inline QM_REGS arith_load(const KELVRA_ENCODER &e) {
    return QM_REGS{e.C, e.A, e.CT};
}

inline void arith_save(KELVRA_ENCODER &e, const QM_REGS &r) {
    e.C = r.C;
    e.A = r.A;
    e.CT = static_cast<int16_t>(r.CT);
}

// Doubles A and C until A is back in [0x8000, 0x10000), emitting a byte every 8 shifts. The
// number of doublings is taken from the leading zeros of A (A is in [1, 0x8000) here), which
// is the same as doubling one step at a time.
inline void RENORME(KELVRA_ENCODER &e, QM_REGS &r) {
    int shift = __builtin_clz(r.A) - 16;
    r.A <<= shift;
    while (shift >= r.CT) { // a byte leaves C on the way
        r.C <<= r.CT;
        shift -= r.CT;
        e.C = r.C;
        BYTEOUT(e);
        r.C = e.C;
        r.CT = 8;
    }
    r.C <<= shift;
    r.CT -= shift;
}

// Codes the more probable symbol of context cx.
inline void CODEMPS(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx) {
    const unsigned s = e.ST[cx];
    const uint32_t lsz = static_cast<uint16_t>(lsztab[s]);
    r.A -= lsz;
    if (r.A >= 0x8000) return;
    if (r.A < lsz) {
        r.C += r.A;
        r.A = lsz;
    }
    e.ST[cx] = nmpstab[s];
    RENORME(e, r);
}

// Codes the less probable symbol of context cx.
inline void CODELPS(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx) {
    const unsigned s = e.ST[cx];
    const uint32_t lsz = static_cast<uint16_t>(lsztab[s]);
    r.A -= lsz;
    if (r.A >= lsz) {
        r.C += r.A;
        r.A = lsz;
    }
    if (swtch[s]) e.MPS[cx] ^= 1;
    e.ST[cx] = nlpstab[s];
    RENORME(e, r);
}

// Codes decision pix (0 or 1) in context cx.
inline void ENCODE(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx, unsigned pix) {
    if (pix == e.MPS[cx])
        CODEMPS(e, r, cx);
    else
        CODELPS(e, r, cx);
}

// Codes n equal decisions pix in context cx; byte for byte the same as n calls of ENCODE.
// MPS steps that leave A at or above 0x8000 change nothing but A, so they are taken together.
inline void ENCODE_RUN(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx, unsigned pix, uint32_t n) {
    while (n > 0) {
        if (pix != e.MPS[cx]) {
            CODELPS(e, r, cx);
            --n;
            continue;
        }
        const uint32_t lsz = static_cast<uint16_t>(lsztab[e.ST[cx]]);
        const uint32_t room = r.A - 0x8000; // A >= 0x8000 between decisions
        if (static_cast<uint64_t>(n) * lsz <= room) {
            r.A -= n * lsz;
            return;
        }
        const uint32_t k = room / lsz; // k < n
        r.A -= k * lsz;
        n -= k;
        CODEMPS(e, r, cx); // this one renormalises
        --n;
    }
}
