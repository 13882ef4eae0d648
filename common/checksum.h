// The frame checksum of the short command frames: all bytes of a complete frame add up
// to 0 modulo 256.
#pragma once

#include <cstdint>

// Returns the two's complement of the byte sum of the `len` bytes at `pSrc`; 0 for a
// length of 0 or less or a null pointer.
uint8_t CalcChecksum(const uint8_t *pSrc, int len);
