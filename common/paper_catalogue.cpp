#include "common/paper_catalogue.h"

#include <cstring>
#include <strings.h>

#include "common/dialect.h"

namespace {

constexpr char kTK76Models[][24] = {"Kelvra R10 Series", "Kelvra R12 Series"};
constexpr char kTK76MFPModels[][24] = {"Kelvra V14 Series", "Kelvra V16 Series"};
constexpr char kRT74Models[][28] = {
    "Kelvra R18 Series",    "Kelvra V20-V22 Series", "Kelvra V24 Series",
    "Kelvra V24D Series",   "Kelvra V24DW Series",   "Kelvra V24DW Plus Series",
    "Kelvra V26 Series",    "Kelvra V26DW Series",   "Kelvra V26FDW Series",
    "Kelvra V28FDW Series", "Kelvra R30 Series",     "Kelvra R30DW Series",
    "Kelvra R32 Series",    "Kelvra R32D Series",    "Kelvra R32DW Series",
    "Kelvra R34 Series",    "Kelvra R34W Series",    "Kelvra V36 Series",
    "Kelvra V36NW Series"};
constexpr char kRT40Models[][24] = {
    "Kelvra R38 Series",   "Kelvra R38W Series",  "Kelvra R40 Series",   "Kelvra R40N Series",
    "Kelvra R40W Series",  "Kelvra R40NW Series", "Kelvra R42 Series",   "Kelvra R42N Series",
    "Kelvra X44 Series",   "Kelvra R46NW Series", "Kelvra R48 Series",   "Kelvra R48N Series",
    "Kelvra R48NW Series", "Kelvra R50 Series",   "Kelvra R50N Series",  "Kelvra V52W Series",
    "Kelvra V54 Series",   "Kelvra V54N Series",  "Kelvra V54NW Series", "Kelvra V54W Series",
    "Kelvra V56NW Series", "Kelvra V58 Series",   "Kelvra V58N Series",  "Kelvra V58W Series",
    "Kelvra V58NW Series", "Kelvra V60 Series",   "Kelvra V60N Series",  "Kelvra V60NW Series",
    "Kelvra V60W Series",  "Kelvra V62W Series",  "Kelvra VX64NW Series"};

template <typename List> bool Lists(const List &models, const char *name) {
    for (const char *m : models)
        if (std::strcmp(m, name) == 0) return true;
    return false;
}

} // namespace

// The model list decides family and dialect; exact, case-sensitive whole-name match.
const PAPER_SIZE_INFO *GetPaperSizeArray(const char *pPPDFile, int *pPlatform) {
    if (pPlatform) *pPlatform = PLATFORM_NONE;
    if (pPPDFile == nullptr) return nullptr;
    int platform = PLATFORM_NONE;
    const PAPER_SIZE_INFO *table = nullptr;
    if (Lists(kTK76Models, pPPDFile)) {
        platform = PLATFORM_C;
        table = gPaperSizeArray_TK76;
    } else if (Lists(kTK76MFPModels, pPPDFile)) {
        platform = PLATFORM_C;
        table = gPaperSizeArray_TK76MFP;
    } else if (Lists(kRT74Models, pPPDFile)) {
        platform = PLATFORM_Z;
        table = gPaperSizeArray_RT74_RTV72;
    } else if (Lists(kRT40Models, pPPDFile)) {
        platform = PLATFORM_M;
        table = gPaperSizeArray_RT40_RTV54;
    }
    if (pPlatform) *pPlatform = platform;
    return table;
}

// Unlisted models name their dialect in the PPD; checked in the order M, C, Z.
bool GetPaperSizeArrayByPlatformName(const char *platformText, int *pPlatform,
                                     const PAPER_SIZE_INFO **pArray) {
    if (platformText == nullptr) return false;
    if (strcasecmp(platformText, "PLATFORM_M") == 0) {
        *pPlatform = PLATFORM_M;
        *pArray = gPaperSizeArray_RT40_RTV54;
        return true;
    }
    if (strcasecmp(platformText, "PLATFORM_C") == 0) {
        *pPlatform = PLATFORM_C;
        *pArray = gPaperSizeArray_TK76;
        return true;
    }
    if (strcasecmp(platformText, "PLATFORM_Z") == 0) {
        *pPlatform = PLATFORM_Z;
        *pArray = gPaperSizeArray_RT74_RTV72;
        return true;
    }
    return false;
}

// First row whose stored portrait size equals the page size exactly.
int GetPaperArrayIndex(const unsigned int cupsPaperSize[2], const PAPER_SIZE_INFO *paperTypeArray,
                       const int * /*pFeed*/) {
    if (paperTypeArray == nullptr || cupsPaperSize == nullptr) return -1;
    for (int i = 0; paperTypeArray[i].cupsPaperW != -1; ++i)
        if (static_cast<unsigned int>(paperTypeArray[i].cupsPaperW) == cupsPaperSize[0] &&
            static_cast<unsigned int>(paperTypeArray[i].cupsPaperH) == cupsPaperSize[1])
            return i;
    return -1;
}

// First row whose name contains the media name, ignoring case; an empty name finds row 0.
int GetPaperArrayIndexbyPaperName(const PAPER_SIZE_INFO *paperTypeArray, const char *medianame) {
    if (paperTypeArray == nullptr || medianame == nullptr) return -1;
    for (int i = 0; paperTypeArray[i].cupsPaperW != -1; ++i)
        if (strcasestr(paperTypeArray[i].strPageSize, medianame) != nullptr) return i;
    return -1;
}
