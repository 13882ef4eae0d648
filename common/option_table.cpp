// The initial option table: the option name each slot is read from and its start value.
#include "common/option_table.h"

const PRINT_FUNC_INFO gDefaultPrntFuncInfo[kPrntFuncInfoCount] = {
    {"Duplex", 0},        // AUTODUPLEX: from the page header only
    {"Sides", 0},         // AUTODUPLONGEDGE
    {"ManualDuplex", 0},  // MANUALDUPLEX: set by the job flow only
    {"Density", 2},       // DENSITY
    {"TonerMode", 2},     // TONERMODE
    {"FeedLongEdge", 0},  // LONGEDGEFEED
    {"outputorder", 0},   // REVERSE: never set
    {"DPI1200", 0},       // DPI1200
    {"NegativePrint", 0}, // NEGATIVEPRINT
    {"InputSlot", 0},     // INPUTSLOT
    {"ImageRotation", 0}, // IMAGEROTATION
    {"Collate", 0},       // COLLATE
    {"FineMode", 0},      // FINEMODE
    {"PrintMode", 0},     // PrintModel
    {"MediaType", 0},     // MediaType
    {"Contrast", 0},      // Contrast
    {"Saturations", 0},   // Saturations
    {"Lightness", 0},     // Lightness
    {"ZeroMargin", 0},    // ZeroMargin
    {"Magenta", 0},       // Magenta
    {"Black", 0},         // Black
    {"Yellow", 0},        // Yellow
    {"Cyan", 0},          // Cyan
    {"PrintByKOnly", 1},  // PrintByKOnly
    {"Booklet", 0},       // Booklet
    {"BlankSuppress", 0}, // BlankSuppress
    {"LockedPinPrint", 0} // LockedPinPrint
};
