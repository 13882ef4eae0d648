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
