// Threshold matrices of the filter-side halftoning and the level table of the 2-bit output.
// Matrices are stored row by row; an entry is a threshold 1..255 (toner where sample < threshold).
#pragma once

extern const unsigned char HT_TABLE_600[16 * 16];
extern const unsigned char HT_TABLE_1200_Z[16 * 16];
extern const unsigned char HT_TABLE_1200_C[28 * 28];
extern const unsigned char NEW_HT_TABLE_600_Z_M[96 * 96];   // "Kelvra V24DW Plus Series", 600 dpi
extern const unsigned char NEW_HT_HALFTONE_1200_Z[96 * 96]; // "Kelvra V24DW Plus Series", 1200 dpi
extern const unsigned char HT_TABLE_2BIG[256];              // darkness code -> 2-bit level
