// "gs" as the system's Ghostscript raster filter finds it on the PATH the CUPS filter gives it
// for a fast-route job: the real Ghostscript with the same arguments, except that the raster
// comes out at 1 bit and the job's screen (KELVRA_GS_SCREEN, a screen matrix number) is set up
// before the document runs. The raster filter keeps deciding everything else about the pages.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/gs_screen.h"

#ifndef KELVRA_GS_PATH
#define KELVRA_GS_PATH "/usr/bin/gs"
#endif

namespace {

// The screen the filter asked for ("matrix:shift"), or a screen without a matrix.
ScreenSpec RequestedScreen(unsigned &shift) {
    const char *value = std::getenv("KELVRA_GS_SCREEN");
    ScreenSpec screen;
    shift = 0;
    if (value == nullptr || *value < '1' || *value > '5' || value[1] != ':') return screen;
    char *end = nullptr;
    const unsigned long columns = std::strtoul(value + 2, &end, 10);
    if (end == value + 2 || *end != '\0' || columns > 96) return screen;
    screen.matrix = static_cast<ScreenMatrix>(*value - '0');
    shift = static_cast<unsigned>(columns);
    return screen;
}

// The arguments with the screen set up: only a rendering call (one asking for 8-bit raster)
// changes; the page-counting call and anything unexpected pass as they are.
std::vector<std::string> WithScreen(int argc, char *argv[], const ScreenSpec &screen,
                                    unsigned shift) {
    std::vector<std::string> args(argv, argv + argc);
    const std::vector<std::string> setup = GhostscriptScreenSetup(screen, shift);
    int bits = -1, code = -1;
    for (int i = 1; i < argc; ++i) {
        if (args[i] == "-dcupsBitsPerColor=8") bits = i;
        if (code < 0 && (args[i] == "-c" || args[i] == "-f")) code = i;
    }
    if (setup.empty() || bits < 0 || code < 0) return args;
    args[bits] = "-dcupsBitsPerColor=1";
    std::vector<std::string> out(args.begin(), args.begin() + code);
    out.push_back("-c");
    out.insert(out.end(), setup.begin(), setup.end());
    out.insert(out.end(), args.begin() + code, args.end());
    return out;
}

} // namespace

int main(int argc, char *argv[]) {
    unsigned shift = 0;
    const ScreenSpec screen = RequestedScreen(shift);
    std::vector<std::string> args = WithScreen(argc, argv, screen, shift);
    args[0] = KELVRA_GS_PATH;
    std::vector<char *> raw;
    for (std::string &a : args)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    execv(KELVRA_GS_PATH, raw.data());
    std::fprintf(stderr, "ERROR: Unable to run %s: %s\n", KELVRA_GS_PATH, std::strerror(errno));
    return 127;
}
