// The option table: one slot per print function, holding the job option it is read from and
// the value the job resolved for it.
#pragma once

#include <cstdint>

// One slot of the option table: the job option it is read from and its current value.
struct PRINT_FUNC_INFO {
    char name[16];
    int32_t value;
};

// Slot indices of the option table.
enum FuncName : int {
    AUTODUPLEX = 0,
    AUTODUPLONGEDGE,
    MANUALDUPLEX,
    DENSITY,
    TONERMODE,
    LONGEDGEFEED,
    REVERSE,
    DPI1200,
    NEGATIVEPRINT,
    INPUTSLOT,
    IMAGEROTATION,
    COLLATE,
    FINEMODE,
    PrintModel,
    MediaType,
    Contrast,
    Saturations,
    Lightness,
    ZeroMargin,
    Magenta,
    Black,
    Yellow,
    Cyan,
    PrintByKOnly,
    Booklet,
    BlankSuppress,
    LockedPinPrint,
    FUNC_NAME_COUNT
};

constexpr int kPrntFuncInfoCount = FUNC_NAME_COUNT; // 27
static_assert(kPrntFuncInfoCount == 27);

// The initial option table; every job starts with a copy of it.
extern const PRINT_FUNC_INFO gDefaultPrntFuncInfo[kPrntFuncInfoCount];
