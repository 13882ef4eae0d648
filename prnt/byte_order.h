// Writers for multi-byte wire fields: short frames are little-endian, platform M blocks
// big-endian. Every frame is built byte by byte through these.
#pragma once

#include <cstdint>

inline void PutLE16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t *p, uint32_t v) {
    PutLE16(p, v);
    PutLE16(p + 2, v >> 16);
}
inline void PutBE16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void PutBE32(uint8_t *p, uint32_t v) {
    PutBE16(p, v >> 16);
    PutBE16(p + 2, v);
}
