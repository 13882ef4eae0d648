// The paper size catalogue: per printer family, page sizes (points or PPD names) to the
// printer's paper code, page-bitmap size and margins. Selecting a family's table also
// selects the command dialect (platform) the rest of the filter speaks.
#pragma once

#include <cstdint>

struct PAPER_SIZE_INFO {
    int32_t cupsPaperW;     // points; -1 marks the end row
    int32_t cupsPaperH;     // points
    int32_t fwPaperW;       // bitmap width in dots at 600 dpi
    int32_t fwPaperH;       // bitmap height in dots at 600 dpi
    int32_t fwPaperNum;     // the printer's paper code
    uint16_t fwPaperMarginX;
    uint16_t fwPaperMarginY;
    char strPageSize[15];   // PPD page-size name
};

extern const PAPER_SIZE_INFO gPaperSizeArray_TK76[];
extern const PAPER_SIZE_INFO gPaperSizeArray_TK76MFP[];
extern const PAPER_SIZE_INFO gPaperSizeArray_RT74_RTV72[];
extern const PAPER_SIZE_INFO gPaperSizeArray_RT40_RTV54[];

// Maps a "PlatForm" PPD keyword to its platform and table (for models the model catalogue does
// not list); false for any other text.
bool GetPaperSizeArrayByPlatformName(const char *platformText, int *pPlatform,
                                     const PAPER_SIZE_INFO **pArray);

// Index of the first row with exactly this size in points, or -1. pFeed is not used.
int GetPaperArrayIndex(const unsigned int cupsPaperSize[2], const PAPER_SIZE_INFO *paperTypeArray,
                       const int *pFeed);

// Index of the first row whose name contains medianame (ignoring case), or -1.
int GetPaperArrayIndexbyPaperName(const PAPER_SIZE_INFO *paperTypeArray, const char *medianame);
