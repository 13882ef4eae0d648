// Out-of-line parts of the QM coder: byte output with carry and 0xFF stacking, the stripe end
// (CLEARBITS, FINALWRITES, FLUSH with trailing-zero removal) and the output chain.
#include "jbig/arith_coder.h"

#include <cstdlib>
#include <cstring>

namespace {

// Builds the whole-byte step tables from the 113-state table; bytes whose state is past 112
// never occur and map to themselves with LSZ 0.
constexpr QM_STEP_TABLES MakeStepTables() {
    QM_STEP_TABLES t{};
    for (unsigned st = 0; st < 256; ++st) {
        const unsigned s = st & 0x7F, mps = st & 0x80;
        if (s >= kQmStates) {
            t.nmps[st] = t.nlps[st] = static_cast<uint8_t>(st);
            continue;
        }
        t.lsz[st] = static_cast<uint16_t>(lsztab[s]);
        t.nmps[st] = static_cast<uint8_t>(mps | nmpstab[s]);
        t.nlps[st] = static_cast<uint8_t>((swtch[s] ? mps ^ 0x80 : mps) | nlpstab[s]);
    }
    return t;
}

} // namespace

constexpr QM_STEP_TABLES qm_steps = MakeStepTables();

namespace {

constexpr unsigned char kMarkerEsc = 0xFF;
constexpr unsigned char kMarkerSdnorm = 0x02;

// Allocates an empty node with the encoder's allocator; null when memory is exhausted.
BUFF *new_node(const KELVRA_ENCODER &e) {
    auto *node = static_cast<BUFF *>(e.alloc(sizeof(BUFF)));
    if (node) {
        node->len = 0;
        node->next = nullptr;
    }
    return node;
}

// Appends the low 8 bits of byte to the chain, and a 0x00 after a 0xFF when isStuff is set.
// Once a node cannot be allocated, further bytes are dropped and nomem stays set.
void buff_write_stuff(unsigned byte, KELVRA_ENCODER &e, bool isStuff) {
    if (e.buffer->len == kBuffSize) {
        if (e.nomem) return;
        BUFF *node = new_node(e);
        if (!node) {
            e.nomem = true;
            return;
        }
        e.buffer->next = node;
        e.last = e.buffer;
        e.buffer = node;
    }
    e.buffer->buffer[e.buffer->len++] = static_cast<unsigned char>(byte);
    if (isStuff && (byte & 0xFF) == 0xFF) buff_write_stuff(0, e, false);
}

// Appends a coded byte with stuffing.
void buff_write(unsigned byte, KELVRA_ENCODER &e) {
    buff_write_stuff(byte, e, true);
}

// Writes the SC stacked bytes as value (0x00 after a carry, else 0xFF with stuffing).
void outSC(KELVRA_ENCODER &e, unsigned value) {
    for (; e.SC > 0; --e.SC)
        buff_write(value, e);
}

// Drops trailing 0x00 bytes of one node; returns true when a 0xFF is left last (its stuffing
// byte was among the dropped ones and must be put back).
bool trim_zeros(BUFF *node) {
    while (node->len > 0 && node->buffer[node->len - 1] == 0x00)
        --node->len;
    return node->len > 0 && node->buffer[node->len - 1] == 0xFF;
}

// Removes the trailing 0x00 bytes of the stripe (a decoder supplies them itself), looking back
// at most one node, and restores the stuffing byte of a final 0xFF.
void buf_remove_zeros(KELVRA_ENCODER &e) {
    if (trim_zeros(e.buffer)) {
        buff_write_stuff(0x00, e, false);
    } else if (e.buffer->len == 0 && e.last) {
        if (trim_zeros(e.last)) buff_write_stuff(0x00, e, false);
    }
}

// Sets C to the value in the final interval with the most trailing zero bits.
void CLEARBITS(KELVRA_ENCODER &e) {
    const uint32_t t = (e.A - 1 + e.C) & 0xFFFF0000u;
    e.C = t < e.C ? t + 0x8000 : t;
}

// Emits the held-back byte, the stacked bytes and the significant rest of C.
void FINALWRITES(KELVRA_ENCODER &e) {
    e.C <<= e.CT;
    if (e.C & 0xF8000000u) {
        if (e.Byte >= 0) buff_write(e.Byte + 1, e);
        if (e.C & 0x07FFF800u) outSC(e, 0x00);
    } else {
        if (e.Byte >= 0) buff_write(e.Byte, e);
        outSC(e, 0xFF);
    }
    if (e.C & 0x07FFF800u) {
        buff_write((e.C >> 19) & 0xFF, e);
        if (e.C & 0x0007F800u) buff_write((e.C >> 11) & 0xFF, e);
    }
}

// Trims the trailing zeros and closes the stripe with ESC SDNORM.
void FLUSH(KELVRA_ENCODER &e) {
    buf_remove_zeros(e);
    buff_write_stuff(kMarkerEsc, e, false);
    buff_write_stuff(kMarkerSdnorm, e, false);
}

} // namespace

// Puts every context in state 0 with MPS 0, once per image.
void arith_init_states(KELVRA_ENCODER &e, void *(*alloc)(size_t)) {
    std::memset(e.ST, 0, sizeof e.ST);
    e.alloc = alloc != nullptr ? alloc : std::malloc;
    e.first = e.buffer = e.last = nullptr;
    e.nomem = false;
}

// Starts a stripe: fresh registers and a one-node chain. False when the node cannot be had.
bool arith_stripe_start(KELVRA_ENCODER &e) {
    e.first = e.buffer = new_node(e);
    e.last = nullptr;
    if (!e.first) {
        e.nomem = true;
        return false;
    }
    e.C = 0;
    e.A = 0x10000;
    e.SC = 0;
    e.CT = 11;
    e.Byte = -1;
    return true;
}

// Moves the top byte of C out: resolves a carry into the held-back byte, stacks 0xFF bytes
// (a later carry may still turn them into 0x00) and holds the new byte back.
void BYTEOUT(KELVRA_ENCODER &e) {
    const uint32_t t = e.C >> 19;
    if (t > 0xFF) {
        if (e.Byte >= 0) buff_write(e.Byte + 1, e);
        outSC(e, 0x00);
        e.Byte = static_cast<int16_t>(t & 0xFF);
    } else if (t == 0xFF) {
        ++e.SC;
    } else {
        if (e.Byte >= 0) buff_write(e.Byte, e);
        outSC(e, 0xFF);
        e.Byte = static_cast<int16_t>(t);
    }
    e.C &= 0x7FFFF;
    e.CT = 8;
}

// Closes the stripe: CLEARBITS, FINALWRITES, FLUSH.
void arith_stripe_end(KELVRA_ENCODER &e) {
    CLEARBITS(e);
    FINALWRITES(e);
    FLUSH(e);
}

// Hands every node of the chain, first to last, to the callback (empty nodes included).
void buff_output(const KELVRA_ENCODER &e, data_out_cb cb, void *file) {
    for (const BUFF *node = e.first; node; node = node->next)
        cb(node->buffer, static_cast<size_t>(node->len), file);
}

// Frees the chain.
void buff_free(KELVRA_ENCODER &e) {
    for (BUFF *node = e.first; node;) {
        BUFF *next = node->next;
        std::free(node);
        node = next;
    }
    e.first = e.buffer = e.last = nullptr;
}
