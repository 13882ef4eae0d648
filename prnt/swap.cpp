#include "prnt/prnt.h"

// Plain exchanges; the byte order of the values is not touched.
void SwapUINT(uint32_t *a, uint32_t *b) {
    if (a == nullptr || b == nullptr) return;
    const uint32_t t = *a;
    *a = *b;
    *b = t;
}

void SwapUSHORT(uint16_t *a, uint16_t *b) {
    if (a == nullptr || b == nullptr) return;
    const uint16_t t = *a;
    *a = *b;
    *b = t;
}
