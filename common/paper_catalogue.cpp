#include "common/paper_catalogue.h"

#include <cstring>
#include <strings.h>

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
