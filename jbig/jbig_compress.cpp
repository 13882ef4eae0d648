// The page collector: runs the encoder over one bitmap and appends the stripe data to the
// caller's buffer.
#include "jbig/jbig_compress.h"

#include <climits>
#include <cstdio>
#include <new>
#include <string>

#include "common/last_error.h"
#include "jbig/kelvra_compress.h"

namespace {

// Where one run of the encoder puts its bytes.
struct Collector {
    std::vector<uint8_t> &out;
    bool failed = false; // a chunk could not be stored
};

// Output callback of the encoder: appends one chunk; a chunk that cannot be stored is dropped
// and the failure remembered.
void CollectChunk(const unsigned char *buffer, size_t len, void *ctx) {
    auto &c = *static_cast<Collector *>(ctx);
    if (len == 0 || c.failed) return;
    try {
        c.out.insert(c.out.end(), buffer, buffer + len);
    } catch (const std::bad_alloc &) {
        c.failed = true;
    }
}

} // namespace

// Codes one bitmap into the caller's buffer; see the header.
int JBIGCompress(const JBIG_BIH &JbigBih, const unsigned char *pKPlaneData,
                 std::vector<uint8_t> &out, ErrorText &error, void *(*alloc)(size_t)) {
    if (pKPlaneData == nullptr) return 0;
    if (JbigBih.ParamImgWidth > UINT32_MAX || JbigBih.ParamImgHeight > UINT32_MAX ||
        JbigBih.ParamL0 > UINT32_MAX) {
        error.Prepend("JBIGCompress() :: image size out of range\n");
        return 0;
    }
    const std::size_t before = out.size();
    Collector collector{out};
    const char *why = nullptr;
    const bool ok = kelvra_compress(
        static_cast<uint32_t>(JbigBih.ParamImgWidth), static_cast<uint32_t>(JbigBih.ParamImgHeight),
        static_cast<uint32_t>(JbigBih.ParamL0), pKPlaneData, &collector, CollectChunk, &why, alloc);
    if (!ok) {
        out.resize(before);
        error.Prepend((std::string("JBIGCompress() :: ") + (why ? why : "failed") + "\n").c_str());
        return 0;
    }
    if (collector.failed) {
        out.resize(before);
        error.Prepend("JBIGCompress() :: out of memory collecting the coded data\n");
        return 0;
    }
    return 1;
}
