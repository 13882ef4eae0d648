// The colour library, bound at run time with dlopen as the CUPS filter binds it: loaded once
// when the server starts, its entry points handed to every job. Where the library has it, the
// entry point that hands its messages to the caller is bound too, so they reach the job's log
// instead of the server's standard error.
#pragma once

#include <string>

#include "core/print_job.h"

struct LoadedColourLibrary {
    void *handle = nullptr;
    ColourLibrary entries; // both null when the library is not loaded
};

// The library's path: KELVRA_CMS_LIBRARY from the environment, else the installed one. An
// empty value disables the library.
std::string ColourLibraryPath();

// Loads the library at `path`; a library without both entry points counts as absent.
// `why` receives the reason when it is not loaded.
LoadedColourLibrary LoadColourLibrary(const std::string &path, std::string &why);

// Closes the library; its entry points are null afterwards.
void UnloadColourLibrary(LoadedColourLibrary &lib);
