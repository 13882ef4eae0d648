// The 96 x 96 supercell of the 1200-dpi 1-bit screen; the values come from the generator's output.
#include "cmslib/ht_thresholds.h"

// clang-format off
const uint8_t bi_1200dpi_K_cluster_thresh[96 * 96] = {
#include "cmslib/ht_thresh_1200dpi.inc"
};
// clang-format on
