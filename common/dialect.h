// The command dialects of the printer family and the model groups that differ from the rest.
#pragma once

#include <cstdint>

// Command dialects ("platforms"); every printer operation sends nothing for PLATFORM_NONE.
enum : int { PLATFORM_NONE = 0, PLATFORM_C = 1, PLATFORM_Z = 2, PLATFORM_M = 3 };

// The two model groups that differ from the rest of the family in many details: the QV models
// (platform Z, halftoned by the colour library, locked printing) and the Mirodel models
// (platform M, halftoned by the colour library).
enum class ModelGroup : uint8_t { Plain, QV, Mirodel };

// The engine-parameter frame a platform Z model takes at job start (platform M always sends
// its own engine block).
enum class EngineBlock : uint8_t { None, R18, V72 };

// The threshold matrices of the driver's own halftoning.
enum class ScreenMatrix : uint8_t {
    None,          // no halftoning known for the platform
    Classic600,    // 16 x 16, 600 dpi
    Classic1200C,  // 28 x 28, the 1200-dpi option of platform C
    Classic1200Z,  // 16 x 16, the 1200-dpi option of platform Z
    Supercell600,  // 96 x 96 supercells
    Supercell1200, // 96 x 96 supercells, the 1200-dpi option
};

// How a job's pages are halftoned by the driver's own screens.
struct ScreenSpec {
    ScreenMatrix matrix = ScreenMatrix::None;
    uint8_t bits = 1; // bits per pixel of the bitmap (2: four levels per pixel)
    // The printer is told the page's toner dots: they are counted, and a negative print
    // inverts whole bytes, keeping the padding right of the image white. Else nothing is
    // counted and a negative print compares the other way round.
    bool countsDots = true;
    bool reversed = false; // a negative print: light pixels take toner
};
