#include "filter/cups_binding.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#ifndef KELVRA_CMS_PATH
#define KELVRA_CMS_PATH "/opt/mirodel/lib/CMSlib/mirodelCMSLib-amd64.so"
#endif

void *m_hCUPS = nullptr;
void *m_hCUPSImage = nullptr;
void *m_hCMS = nullptr;
bool IsUseCMSLib = false;

PFppdClose pfppdClose = ppdClose;
PFppdOpenFile pfppdOpenFile = ppdOpenFile;
PFppdLocalizeIPPReason pfppdLocalizeIPPReason = ppdLocalizeIPPReason;
PFcupsGetOption pfcupsGetOption = cupsGetOption;
PFcupsParseOptions pfcupsParseOptions = cupsParseOptions;
PFcupsSideChannelDoRequest pfcupsSideChannelDoRequest = cupsSideChannelDoRequest;
PFcupsTempFd pfcupsTempFd = cupsTempFd;
PFppdFindOption pfppdFindOption = ppdFindOption;
PFcupsFreeOptions pfcupsFreeOptions = cupsFreeOptions;
PFcupsRasterReadPixels pfcupsRasterReadPixels = cupsRasterReadPixels;
PFcupsRasterClose pfcupsRasterClose = cupsRasterClose;
PFcupsRasterReadHeader2 pfcupsRasterReadHeader2 = cupsRasterReadHeader2;
PFcupsRasterOpen pfcupsRasterOpen = cupsRasterOpen;
PFGetCMSDllVersion pGetCMSDllVersion = nullptr;
PFGDIPrintCMSmain pGDIPrintCMSmain = nullptr;

namespace {

// Looks a symbol up in an opened library; without a library, or when the symbol is absent,
// the entry takes the linked function, so the table never holds a null entry.
template <typename Fn> void Bind(void *handle, const char *symbol, Fn &entry, Fn linked) {
    void *address = handle ? dlsym(handle, symbol) : nullptr;
    entry = address ? reinterpret_cast<Fn>(address) : linked;
}

void Unload(void *&handle) {
    if (handle) {
        dlclose(handle);
        handle = nullptr;
    }
}

} // namespace

const char *CMSLibraryPath() {
    const char *overridePath = std::getenv("KELVRA_CMS_LIBRARY");
    return overridePath ? overridePath : KELVRA_CMS_PATH;
}

namespace {

void BindCups(void *h) {
    Bind(h, "ppdClose", pfppdClose, &ppdClose);
    Bind(h, "ppdOpenFile", pfppdOpenFile, &ppdOpenFile);
    Bind(h, "ppdLocalizeIPPReason", pfppdLocalizeIPPReason, &ppdLocalizeIPPReason);
    Bind(h, "cupsGetOption", pfcupsGetOption, &cupsGetOption);
    Bind(h, "cupsParseOptions", pfcupsParseOptions, &cupsParseOptions);
    Bind(h, "cupsSideChannelDoRequest", pfcupsSideChannelDoRequest, &cupsSideChannelDoRequest);
    Bind(h, "cupsTempFd", pfcupsTempFd, &cupsTempFd);
    Bind(h, "ppdFindOption", pfppdFindOption, &ppdFindOption);
    Bind(h, "cupsFreeOptions", pfcupsFreeOptions, &cupsFreeOptions);
}

void BindCupsImage(void *h) {
    Bind(h, "cupsRasterReadPixels", pfcupsRasterReadPixels, &cupsRasterReadPixels);
    Bind(h, "cupsRasterClose", pfcupsRasterClose, &cupsRasterClose);
    Bind(h, "cupsRasterReadHeader2", pfcupsRasterReadHeader2, &cupsRasterReadHeader2);
    Bind(h, "cupsRasterOpen", pfcupsRasterOpen, &cupsRasterOpen);
}

} // namespace

// Binds the nine CUPS entries, from /usr/lib/libcups.so when it opens, else the linked ones.
int InitCUPSDLL() {
    Unload(m_hCUPS);
    m_hCUPS = dlopen("/usr/lib/libcups.so", RTLD_LAZY);
    BindCups(m_hCUPS);
    return m_hCUPS ? 1 : 0;
}

// Binds the four raster entries, from /usr/lib/libcupsimage.so when it opens.
int InitCUPSIMAGEDLL() {
    Unload(m_hCUPSImage);
    m_hCUPSImage = dlopen("/usr/lib/libcupsimage.so", RTLD_LAZY);
    BindCupsImage(m_hCUPSImage);
    return m_hCUPSImage ? 1 : 0;
}

// Loads the colour library. A library without both entry points counts as absent, so the
// page pipeline falls back to the filter's own halftoning instead of calling through null.
int InitCMSDLL() {
    Unload(m_hCMS);
    IsUseCMSLib = false;
    pGetCMSDllVersion = nullptr;
    pGDIPrintCMSmain = nullptr;
    const char *path = CMSLibraryPath();
    void *h = (path && *path) ? dlopen(path, RTLD_LAZY) : nullptr;
    if (h == nullptr) {
        const char *reason = (path && *path) ? dlerror() : "disabled";
        std::fprintf(stderr, "加载CMS库失败%s\n", reason ? reason : "");
        return 0;
    }
    auto version = reinterpret_cast<PFGetCMSDllVersion>(dlsym(h, "GetCMSDllVersion"));
    auto entry = reinterpret_cast<PFGDIPrintCMSmain>(dlsym(h, "GDIPrintCMSmain"));
    if (version == nullptr || entry == nullptr) {
        std::fprintf(stderr, "加载CMS库失败%s: missing GetCMSDllVersion or GDIPrintCMSmain\n",
                     path);
        dlclose(h);
        return 0;
    }
    m_hCMS = h;
    IsUseCMSLib = true;
    pGetCMSDllVersion = version;
    pGDIPrintCMSmain = entry;
    return 1;
}

// After unloading, the table points at the linked functions again, never into a closed library.
void UnloadDLLs() {
    Unload(m_hCUPS);
    BindCups(nullptr);
    Unload(m_hCUPSImage);
    BindCupsImage(nullptr);
    Unload(m_hCMS);
    IsUseCMSLib = false;
    pGetCMSDllVersion = nullptr;
    pGDIPrintCMSmain = nullptr;
}
