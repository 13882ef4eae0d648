// Changing the bit depth of a page bitmap.
#pragma once

#include <cstddef>
#include <cstdint>

// Widens a 1-bit page to 2 bits per pixel in place: each toner pixel becomes level 3, each
// white pixel level 0. buf holds pixels/8 bytes of 1-bit data and has room for pixels/4.
void Expand1BitTo2Bit(uint8_t *buf, size_t pixels);
