#include "app/colour_library.h"

#include <cstdlib>
#include <dlfcn.h>

#ifndef KELVRA_CMS_PATH
#define KELVRA_CMS_PATH "/opt/mirodel/lib/CMSlib/mirodelCMSLib-amd64.so"
#endif

// The environment overrides the installed path, so that tests load the built library.
std::string ColourLibraryPath() {
    const char *overridePath = std::getenv("KELVRA_CMS_LIBRARY");
    return overridePath ? overridePath : KELVRA_CMS_PATH;
}

// Both entry points or nothing: a half-bound library would be called through null. The entry
// point with a message function is optional.
LoadedColourLibrary LoadColourLibrary(const std::string &path, std::string &why) {
    LoadedColourLibrary lib;
    if (path.empty()) {
        why = "disabled";
        return lib;
    }
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        const char *err = dlerror();
        why = err ? err : "cannot be opened";
        return lib;
    }
    auto version = reinterpret_cast<int (*)()>(dlsym(h, "GetCMSDllVersion"));
    auto entry = reinterpret_cast<int (*)(CMS_TRANSFER_SRC *, CMS_SETTINGS *, CMS_TRANSFER_DST *)>(
        dlsym(h, "GDIPrintCMSmain"));
    if (version == nullptr || entry == nullptr) {
        why = path + ": missing GetCMSDllVersion or GDIPrintCMSmain";
        dlclose(h);
        return lib;
    }
    lib.handle = h;
    lib.entries.getVersion = version;
    lib.entries.printMain = entry;
    // Present from this library version on: the messages then go to each job's own log.
    lib.entries.printMainWithMessages =
        reinterpret_cast<PFN_GDIPrintCMSmainWithMessages>(dlsym(h, "GDIPrintCMSmainWithMessages"));
    return lib;
}

// Called once the server has stopped and no job runs any more.
void UnloadColourLibrary(LoadedColourLibrary &lib) {
    if (lib.handle != nullptr) dlclose(lib.handle);
    lib = LoadedColourLibrary{};
}
