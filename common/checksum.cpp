#include "common/checksum.h"

uint8_t CalcChecksum(const uint8_t *pSrc, int len) {
    if (pSrc == nullptr || len <= 0) return 0;
    unsigned sum = 0;
    for (int i = 0; i < len; ++i)
        sum += pSrc[i];
    return static_cast<uint8_t>(0u - sum);
}
