// Helpers for the colour library's tests: load the built library with dlopen as the filter does,
// build the three records for a page, and read pixels back out of the bitmap.
#pragma once

#include "cmslib/cms_api.h"
#include "cmslib/cms_records.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#ifndef KELVRA_CMSLIB_BIN
#error "the colour library's tests need KELVRA_CMSLIB_BIN"
#endif

// The library opened by path with its seven entry points bound by name.
struct CmsLib {
    void *handle = nullptr;
    PFN_GetCMSDllVersion version = nullptr;
    PFN_GDIPrintCMSmain print = nullptr;
    PFN_GDIPrintCMSmainWithMessages printWithMessages = nullptr;
    PFN_MONOtoMONO monoToMono = nullptr;
    PFN_RGBtoMONO rgbToMono = nullptr;
    PFN_BrightnessLevelLut brightness = nullptr;
    PFN_ContrastLevelLut contrast = nullptr;

    explicit CmsLib(const std::string &path = KELVRA_CMSLIB_BIN) {
        handle = dlopen(path.c_str(), RTLD_LAZY);
        if (handle == nullptr) return;
        version = reinterpret_cast<PFN_GetCMSDllVersion>(dlsym(handle, "GetCMSDllVersion"));
        print = reinterpret_cast<PFN_GDIPrintCMSmain>(dlsym(handle, "GDIPrintCMSmain"));
        printWithMessages = reinterpret_cast<PFN_GDIPrintCMSmainWithMessages>(
            dlsym(handle, "GDIPrintCMSmainWithMessages"));
        monoToMono = reinterpret_cast<PFN_MONOtoMONO>(dlsym(handle, "MONOtoMONO"));
        rgbToMono = reinterpret_cast<PFN_RGBtoMONO>(dlsym(handle, "RGBtoMONO"));
        brightness = reinterpret_cast<PFN_BrightnessLevelLut>(dlsym(handle, "BrightnessLevelLut"));
        contrast = reinterpret_cast<PFN_ContrastLevelLut>(dlsym(handle, "ContrastLevelLut"));
    }
    ~CmsLib() {
        if (handle != nullptr) dlclose(handle);
    }
    CmsLib(const CmsLib &) = delete;
    CmsLib &operator=(const CmsLib &) = delete;
    bool Complete() const {
        return handle && version && print && printWithMessages && monoToMono && rgbToMono &&
               brightness && contrast;
    }
};

// The library built for the x86-64 baseline only (no AVX2 or AVX-512 paths), beside the library.
inline std::string BaselineLibPath() {
    const std::string lib = KELVRA_CMSLIB_BIN;
    return lib.substr(0, lib.rfind('/') + 1) + "mirodelCMSLib-baseline.so";
}

// One page for the library: grey samples, the records and a destination buffer.
struct CmsPage {
    std::vector<uint8_t> grey;
    std::vector<uint8_t> bitmap;
    CMS_TRANSFER_SRC src{};
    CMS_SETTINGS settings{};
    CMS_TRANSFER_DST dst{};

    // A width x height page of one grey value, at bitMode, sized exactly for its bitmap.
    CmsPage(uint16_t width, uint16_t height, uint8_t value, uint8_t bitMode)
        : grey(size_t{width} * height, value) {
        src.cbStructSize = 36;
        src.cbSize = static_cast<int32_t>(grey.size());
        src.InputDataWidth = width;
        src.InputDataHeight = height;
        src.InputDataLineByte = width;
        settings.cbStructSize = 18;
        settings.BitMode = bitMode;
        settings.TonerDensityLevel = 3;
        const unsigned bits = bitMode < 8 ? (1u << bitMode) : 0u;
        bitmap.assign(size_t{width} * bits / 8 * height, 0xA5);
        dst.cbStructSize = 35;
        dst.OutputBitMode = bitMode;
    }
    // Points the records at the buffers (after any resize) and calls the library.
    int Run(const CmsLib &lib) {
        src.ColorSrcData = grey.data();
        dst.ColorDstData = bitmap.data();
        dst.cbSize = static_cast<int32_t>(bitmap.size());
        return lib.print(&src, &settings, &dst);
    }
    // Output level of pixel (row, col) at b bits per pixel.
    unsigned Level(size_t row, size_t col, unsigned b) const {
        const size_t perByte = 8 / b;
        const uint8_t byte = bitmap[row * dst.OutputDataLineByte + col / perByte];
        const unsigned shift = static_cast<unsigned>((perByte - 1 - col % perByte) * b);
        return (byte >> shift) & ((1u << b) - 1u);
    }
};

// Runs fn with standard error captured and returns what was written.
template <typename Fn> std::string CaptureStderrOf(Fn fn) {
    testing::internal::CaptureStderr();
    fn();
    return testing::internal::GetCapturedStderr();
}
