// The page collector: runs the encoder over one bitmap and gathers the stripe data in
// gpCompImgData, growing the buffer when the coded data outgrows it.
#include "jbig/jbig_compress.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/globals.h"
#include "common/last_error.h"
#include "jbig/kelvra_compress.h"

void *(*jbig_collect_realloc)(void *block, size_t size) = std::realloc;

namespace {

bool gCollectFailed = false; // a chunk could not be stored since JBIGCompress started

} // namespace

// Appends one chunk of coded bytes to gpCompImgData, growing the block (at least doubling it)
// when it is too small; on overflow of the count or a failed realloc the chunk is dropped and
// the failure remembered for JBIGCompress.
void jbig_data_out(const unsigned char *buffer, size_t len, void * /*file*/) {
    if (len == 0 || gCollectFailed) return;
    if (gJbigCompressDataLen < 0 || len > size_t{INT_MAX} - size_t(gJbigCompressDataLen)) {
        gCollectFailed = true;
        return;
    }
    const size_t used = size_t(gJbigCompressDataLen);
    const size_t need = used + len;
    if (gpCompImgData == nullptr) gCompImgDataCap = 0;
    if (need > gCompImgDataCap) {
        const size_t cap = std::max({need, gCompImgDataCap * 2, size_t{kBuffSize}});
        auto *grown = static_cast<unsigned char *>(jbig_collect_realloc(gpCompImgData, cap));
        if (!grown) {
            gCollectFailed = true;
            return;
        }
        gpCompImgData = grown;
        gCompImgDataCap = cap;
    }
    std::memcpy(gpCompImgData + used, buffer, len);
    gJbigCompressDataLen = static_cast<int>(need);
}

// Codes one bitmap into the collector; see the header.
int JBIGCompress(JBIG_BIH JbigBih, const unsigned char *pKPlaneData) {
    if (pKPlaneData == nullptr) return 0;
    if (JbigBih.ParamImgWidth > UINT32_MAX || JbigBih.ParamImgHeight > UINT32_MAX ||
        JbigBih.ParamL0 > UINT32_MAX) {
        PrependLastError("JBIGCompress() :: image size out of range\n");
        return 0;
    }
    gCollectFailed = false;
    const char *error = nullptr;
    const bool ok = kelvra_compress(
        static_cast<uint32_t>(JbigBih.ParamImgWidth), static_cast<uint32_t>(JbigBih.ParamImgHeight),
        static_cast<uint32_t>(JbigBih.ParamL0), pKPlaneData, stdout, jbig_data_out, &error);
    if (!ok) {
        PrependLastError(
            (std::string("JBIGCompress() :: ") + (error ? error : "failed") + "\n").c_str());
        return 0;
    }
    if (gCollectFailed) {
        PrependLastError("JBIGCompress() :: out of memory collecting the coded data\n");
        return 0;
    }
    return 1;
}
