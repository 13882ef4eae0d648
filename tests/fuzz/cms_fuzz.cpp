// Fuzzes the colour library's entry point, loaded from the built library as the filter
// loads it, with arbitrary record fields: positions, sizes, line strides, bit modes, density
// and toner-save settings, destination capacities and null buffers. The buffers are exactly
// as large as the records say, so any read or write outside them is caught.
//
// Input: flag byte (bit 0 null source data, bit 1 null destination data, bit 2 capacity
// below the need), X, Y (u16), width (u16 % 4097), height (u16 % 300), extra stride (u8),
// DpiMode, BitMode, TonerSaveMode, TonerDensityLevel (u8 each), capacity slack (u8),
// then the grey samples (repeated to fill the source).
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "cmslib/cms_records.h"
#include "tests/fuzz/fuzz_support.h"

namespace {
PFN_GDIPrintCMSmain gEntry = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    KeepSanitizerReportsVisible();
    void *lib = dlopen(KELVRA_CMSLIB_BIN, RTLD_NOW);
    if (lib == nullptr) FuzzFail("cannot load the colour library", dlerror());
    gEntry = reinterpret_cast<PFN_GDIPrintCMSmain>(dlsym(lib, "GDIPrintCMSmain"));
    if (gEntry == nullptr) FuzzFail("GDIPrintCMSmain not exported");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Silence err(getenv("KELVRA_FUZZ_VERBOSE") ? -1 : STDERR_FILENO);
    FuzzReader in(data, size);
    const uint8_t flags = in.U8();
    CMS_TRANSFER_SRC src{};
    CMS_SETTINGS settings{};
    CMS_TRANSFER_DST dst{};
    src.cbStructSize = 36;
    src.InputDataX = in.U16();
    src.InputDataY = in.U16();
    src.InputDataWidth = static_cast<uint16_t>(in.U16() % 4097);
    src.InputDataHeight = static_cast<uint16_t>(in.U16() % 300);
    src.InputDataLineByte = src.InputDataWidth + in.U8();
    settings.DpiMode = in.U8();
    settings.BitMode = in.U8();
    settings.TonerSaveMode = in.U8();
    settings.TonerDensityLevel = in.U8();
    const uint8_t slack = in.U8();

    // The source holds exactly the lines the record describes: (height-1) strides + width.
    const size_t srcBytes =
        src.InputDataHeight == 0
            ? 0
            : size_t{src.InputDataLineByte} * (src.InputDataHeight - 1u) + src.InputDataWidth;
    std::vector<uint8_t> grey(srcBytes);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = in.Left() ? in.Data()[i % in.Left()] : 0xFF;
    src.cbSize = static_cast<int32_t>(srcBytes);
    src.ColorSrcData = (flags & 1) ? nullptr : (grey.empty() ? nullptr : grey.data());
    if (src.ColorSrcData == nullptr && !(flags & 1)) {
        // A zero-sized page still needs a pointer; give it one the library must not read.
        static uint8_t none[1];
        src.ColorSrcData = none;
    }

    // Ask for the size first, as a caller that does not know it would.
    dst.cbSize = 0;
    const int probe = gEntry(&src, &settings, &dst);
    const int64_t needed = dst.cbSize;
    if (probe != -9) {
        if (probe == 0 && needed != 0) FuzzFail("capacity 0 accepted for a non-empty bitmap");
        return 0;
    }
    if (needed < 0) FuzzFail("negative size reported");
    int64_t capacity = (flags & 4) ? needed - 1 - slack : needed + slack;
    if (capacity < 0) capacity = 0;
    std::vector<uint8_t> out(static_cast<size_t>(capacity));
    dst = CMS_TRANSFER_DST{};
    dst.cbSize = static_cast<int32_t>(capacity);
    dst.ColorDstData = (flags & 2) ? nullptr : out.data();
    src.iStructVersion = 0;
    const int rc = gEntry(&src, &settings, &dst);
    if (src.iStructVersion != 0x1001) FuzzFail("source record not stamped");
    if (capacity < needed) {
        if (rc != -9 || dst.cbSize != needed) FuzzFail("short capacity not refused with -9");
    } else if (flags & 2) {
        if (rc != -10) FuzzFail("null destination not refused with -10");
    } else if (rc != 0) {
        FuzzFail("valid call failed", std::to_string(rc));
    } else if (dst.OutputDataWidth != src.InputDataWidth ||
               dst.OutputDataHeight != src.InputDataHeight ||
               int64_t{dst.OutputDataLineByte} * dst.OutputDataHeight != needed) {
        FuzzFail("output record does not describe the bitmap");
    }
    return 0;
}
