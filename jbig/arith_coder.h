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

// QM coder state. ST lives for the whole image; the registers and the chain per stripe.
struct KELVRA_ENCODER {
    uint8_t ST[kContexts];  // per context: probability state (0..112) in bits 0-6, MPS in bit 7
    uint32_t C;             // code register
    uint32_t A;             // interval register
    int32_t SC;             // stacked 0xFF bytes not yet written
    int16_t CT;             // shifts left before the next byte leaves C
    int16_t Byte;           // byte held back for carry propagation, -1 while none
    BUFF *last;             // node before buffer, null while the chain has one node
    BUFF *buffer;           // current (last) node of the chain
    BUFF *first;            // first node of the chain, handed out first
    bool nomem;             // a node could not be allocated: output is incomplete
    void *(*alloc)(size_t); // allocator of the chain's nodes (freed with std::free)
};

// The probability table indexed by a whole context byte (state and MPS), so that coding a
// decision takes one load of the context and no test of SWTCH: LSZ, and the context byte after
// an MPS and after an LPS (MPS exchanged where SWTCH says so).
struct QM_STEP_TABLES {
    uint16_t lsz[256];
    uint8_t nmps[256];
    uint8_t nlps[256];
};
extern const QM_STEP_TABLES qm_steps;

using data_out_cb = void (*)(const unsigned char *buffer, size_t len, void *file);

// Puts every context in state 0 and sets the node allocator (null: std::malloc).
void arith_init_states(KELVRA_ENCODER &e, void *(*alloc)(size_t) = nullptr);
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

// Codes the more probable symbol of context cx, whose context byte is st.
inline void CODEMPS(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx, unsigned st) {
    const uint32_t lsz = qm_steps.lsz[st];
    r.A -= lsz;
    if (r.A >= 0x8000) return;
    if (r.A < lsz) {
        r.C += r.A;
        r.A = lsz;
    }
    e.ST[cx] = qm_steps.nmps[st];
    RENORME(e, r);
}

// Codes the less probable symbol of context cx, whose context byte is st.
inline void CODELPS(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx, unsigned st) {
    const uint32_t lsz = qm_steps.lsz[st];
    r.A -= lsz;
    if (r.A >= lsz) {
        r.C += r.A;
        r.A = lsz;
    }
    e.ST[cx] = qm_steps.nlps[st];
    RENORME(e, r);
}

// Codes decision pix (0 or 1) in context cx.
inline void ENCODE(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx, unsigned pix) {
    const unsigned st = e.ST[cx];
    if (pix == st >> 7)
        CODEMPS(e, r, cx, st);
    else
        CODELPS(e, r, cx, st);
}

// Codes n equal decisions pix in context cx; byte for byte the same as n calls of ENCODE.
// MPS steps that leave A at or above 0x8000 change nothing but A, so they are taken together.
inline void ENCODE_RUN(KELVRA_ENCODER &e, QM_REGS &r, unsigned cx, unsigned pix, uint32_t n) {
    while (n > 0) {
        const unsigned st = e.ST[cx];
        if (pix != st >> 7) {
            CODELPS(e, r, cx, st);
            --n;
            continue;
        }
        const uint32_t lsz = qm_steps.lsz[st];
        const uint32_t room = r.A - 0x8000; // A >= 0x8000 between decisions
        if (static_cast<uint64_t>(n) * lsz <= room) {
            r.A -= n * lsz;
            return;
        }
        const uint32_t k = room / lsz; // k < n
        r.A -= k * lsz;
        n -= k;
        CODEMPS(e, r, cx, st); // this one renormalises
        --n;
    }
}
