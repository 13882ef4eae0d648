#include "common/paper_catalogue.h"

#include <cstring>
#include <strings.h>

#include "common/globals.h"

namespace {

struct FamilyModels {
    const PAPER_SIZE_INFO *table;
    int platform;
    const char *const *models;
};

const char *const kTK76Models[] = {"Kelvra R10 Series", "Kelvra R12 Series", nullptr};
const char *const kTK76MFPModels[] = {"Kelvra V14 Series", "Kelvra V16 Series", nullptr};
const char *const kRT74Models[] = {
    "Kelvra R18 Series",   "Kelvra V20-V22 Series", "Kelvra V24 Series",
    "Kelvra V24D Series",  "Kelvra V24DW Series",   "Kelvra V24DW Plus Series",
    "Kelvra V26 Series",   "Kelvra V26DW Series",   "Kelvra V26FDW Series",
    "Kelvra V28FDW Series", "Kelvra R30 Series",    "Kelvra R30DW Series",
    "Kelvra R32 Series",   "Kelvra R32D Series",    "Kelvra R32DW Series",
    "Kelvra R34 Series",   "Kelvra R34W Series",    "Kelvra V36 Series",
    "Kelvra V36NW Series", nullptr};
const char *const kRT40Models[] = {
    "Kelvra R38 Series",   "Kelvra R38W Series",  "Kelvra R40 Series",   "Kelvra R40N Series",
    "Kelvra R40W Series",  "Kelvra R40NW Series", "Kelvra R42 Series",   "Kelvra R42N Series",
    "Kelvra X44 Series",   "Kelvra R46NW Series", "Kelvra R48 Series",   "Kelvra R48N Series",
    "Kelvra R48NW Series", "Kelvra R50 Series",   "Kelvra R50N Series",  "Kelvra V52W Series",
    "Kelvra V54 Series",   "Kelvra V54N Series",  "Kelvra V54NW Series", "Kelvra V54W Series",
    "Kelvra V56NW Series", "Kelvra V58 Series",   "Kelvra V58N Series",  "Kelvra V58W Series",
    "Kelvra V58NW Series", "Kelvra V60 Series",   "Kelvra V60N Series",  "Kelvra V60NW Series",
    "Kelvra V60W Series",  "Kelvra V62W Series",  "Kelvra VX64NW Series", nullptr};

const FamilyModels kFamilies[] = {
    {gPaperSizeArray_TK76, PLATFORM_C, kTK76Models},
    {gPaperSizeArray_TK76MFP, PLATFORM_C, kTK76MFPModels},
    {gPaperSizeArray_RT74_RTV72, PLATFORM_Z, kRT74Models},
    {gPaperSizeArray_RT40_RTV54, PLATFORM_M, kRT40Models},
};

} // namespace

// The model list decides family and dialect; exact, case-sensitive whole-name match.
const PAPER_SIZE_INFO *GetPaperSizeArray(const char *pPPDFile, int *pPlatform) {
    if (pPlatform) *pPlatform = PLATFORM_NONE;
    if (pPPDFile == nullptr) return nullptr;
    for (const FamilyModels &family : kFamilies)
        for (const char *const *m = family.models; *m; ++m)
            if (std::strcmp(*m, pPPDFile) == 0) {
                if (pPlatform) *pPlatform = family.platform;
                return family.table;
            }
    return nullptr;
}

// Unlisted models name their dialect in the PPD; checked in the order M, C, Z.
bool GetPaperSizeArrayByPlatformName(const char *platformText, int *pPlatform,
                                     const PAPER_SIZE_INFO **pArray) {
    struct Keyword { const char *text; int platform; const PAPER_SIZE_INFO *table; };
    static const Keyword kKeywords[] = {
        {"PLATFORM_M", PLATFORM_M, gPaperSizeArray_RT40_RTV54},
        {"PLATFORM_C", PLATFORM_C, gPaperSizeArray_TK76},
        {"PLATFORM_Z", PLATFORM_Z, gPaperSizeArray_RT74_RTV72},
    };
    if (platformText == nullptr) return false;
    for (const Keyword &k : kKeywords)
        if (strcasecmp(platformText, k.text) == 0) {
            *pPlatform = k.platform;
            *pArray = k.table;
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
