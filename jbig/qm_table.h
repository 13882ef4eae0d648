// Probability estimation table of the T.82 QM coder: for each of the 113 states the LPS
// sub-interval size and the next state after an MPS or LPS, and whether an LPS swaps MPS.
#pragma once

#include <cstdint>

constexpr int kQmStates = 113;

extern const int16_t lsztab[kQmStates];  // LSZ: size of the LPS sub-interval
extern const uint8_t nmpstab[kQmStates]; // NMPS: next state after coding the MPS
extern const uint8_t nlpstab[kQmStates]; // NLPS: next state after coding the LPS
extern const uint8_t swtch[kQmStates];   // SWTCH: 1 when an LPS exchanges MPS and LPS
