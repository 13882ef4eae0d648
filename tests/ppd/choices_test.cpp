// Every choice of every option of every generated PPD does what it says: a one-page job with the
// choice is printed as CUPS would hand it to the filter (the raster header from the PPD's code
// for the marked choices, the option on the command line) and its stream is compared with the
// queue's default job. Both input routes' PPDs offer the same options.
#include <gtest/gtest.h>

#include <cups/ppd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/model_catalogue.h"
#include "core/print_job.h"
#include "filter/cups_settings.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_fixture.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct PpdClose {
    void operator()(ppd_file_t *p) const { ppdClose(p); }
};
using PpdPtr = std::unique_ptr<ppd_file_t, PpdClose>;

// A job of one page (two copies) printed with `options` on the queue of `ppdPath`, as the
// filter prints it; empty when the filter refuses the job.
std::string PrintWith(const std::string &ppdPath, const std::string &options) {
    PpdPtr ppd(ppdOpenFile(ppdPath.c_str()));
    if (!ppd) return {};
    std::FILE *log = std::fopen("/dev/null", "w");
    std::string a[6] = {"rastertoKelvra", "7", "tester", "choices", "1", options};
    char *argv[] = {a[0].data(), a[1].data(), a[2].data(), a[3].data(),
                    a[4].data(), a[5].data(), nullptr};
    JobSettings s;
    const bool ok = ResolveJobSettings(s, argv, ppd.get(), "debian_12", log);
    s.identity.time = 1767225600;
    s.identity.host = "choices";
    cups_option_t *marked = nullptr;
    const int count = cupsParseOptions(options.c_str(), 0, &marked);
    ppdMarkDefaults(ppd.get());
    cupsMarkOptions(ppd.get(), count, marked);
    cups_page_header2_t h{};
    const bool header = cupsRasterInterpretPPD(&h, ppd.get(), count, marked, nullptr) == 0;
    cupsFreeOptions(count, marked);
    MemoryWriter printer;
    if (ok && header) {
        h.NumCopies = 2;
        TempDir spools;
        TestSpoolFiles files(spools.path());
        PrintJob job(s, printer, &files, ColourLibrary{}, log);
        if (job.StartPage(h) == JobFlow::Continue) {
            // A quarter of the page with grey gradients in its left third (every screen shows
            // in them), placed so that no turn maps the page onto itself; the rest is white.
            std::vector<uint8_t> line(h.cupsBytesPerLine);
            for (unsigned y = 0; y < h.cupsHeight / 4; ++y) {
                for (unsigned x = 0; x < line.size(); ++x)
                    line[x] = x < line.size() / 3 ? static_cast<uint8_t>(x * 5 + y * 3) : 0xFF;
                job.WriteLine(line.data());
            }
            if (job.EndPage() == JobFlow::Continue) job.EndJob();
        }
    }
    std::fclose(log);
    return printer.bytes;
}

// The bytes of the first frame or record that starts with `head`, `size` bytes long, or "".
std::string Frame(const std::string &stream, const std::string &head, std::size_t size) {
    const std::size_t at = stream.find(head);
    return at == std::string::npos || at + size > stream.size() ? "" : stream.substr(at, size);
}

unsigned Byte(const std::string &frame, std::size_t i) {
    return i < frame.size() ? static_cast<unsigned char>(frame[i]) : 999u;
}

// The value of a platform M page parameter (a 12-byte record: length 12, id, type 1).
long MParam(const std::string &stream, uint16_t id) {
    const std::string head{
        '\0',   '\0', '\0', '\x0C', static_cast<char>(id >> 8), static_cast<char>(id & 0xFF),
        '\x01', '\0'};
    const std::string r = Frame(stream, head, 12);
    if (r.empty()) return -1;
    return (long{Byte(r, 8)} << 24) | (Byte(r, 9) << 16) | (Byte(r, 10) << 8) | Byte(r, 11);
}

// What the checks read from a job stream, per dialect.
struct Reading {
    int platform;
    const std::string &s;
    std::string PageSpec() const { return Frame(s, "\x0B\x12\x12", 18); }
    long Paper() const { return platform == PLATFORM_M ? MParam(s, 3) : Byte(PageSpec(), 3); }
    long Tray() const { return platform == PLATFORM_M ? MParam(s, 5) : Byte(PageSpec(), 7); }
    long Copies() const {
        return platform == PLATFORM_M ? MParam(s, 4)
                                      : Byte(PageSpec(), 9) | Byte(PageSpec(), 10) << 8;
    }
    long ResolutionX() const { return platform == PLATFORM_M ? MParam(s, 8) : Byte(PageSpec(), 5); }
    long Density() const {
        return platform == PLATFORM_M ? MParam(s, 0xFF00) : Byte(Frame(s, "\x0B\x05\x15", 5), 3);
    }
    long JobFlags() const {
        return platform == PLATFORM_C ? Byte(Frame(s, "\x0B\x06\x11", 6), 4)
                                      : Byte(Frame(s, "\x0B\x09\x11", 9), 3);
    }
    long FineMode() const { return Byte(Frame(s, "\x0B\x05\x1F", 5), 3); }
    bool Has(const std::string &text) const { return s.find(text) != std::string::npos; }
};

// The page-start and job-start fields the checks look at, to tell a change of the page data from
// a change of the job's settings.
std::string Fields(const Reading &r) {
    return std::to_string(r.Paper()) + "/" + std::to_string(r.Tray()) + "/" +
           std::to_string(r.Copies()) + "/" + std::to_string(r.ResolutionX()) + "/" +
           std::to_string(r.Density()) + "/" + std::to_string(r.JobFlags());
}

// Runs the checks of one PPD; records failures with the model and the choice.
void CheckModel(const ModelInfo &m, const std::string &ppdPath) {
    SCOPED_TRACE(m.ppdFileName);
    PpdPtr ppd(ppdOpenFile(ppdPath.c_str()));
    ASSERT_TRUE(ppd);
    std::map<std::string, std::string> printed; // options -> stream, to reuse jobs
    auto job = [&](const std::string &options) -> const std::string & {
        auto it = printed.find(options);
        if (it == printed.end()) it = printed.emplace(options, PrintWith(ppdPath, options)).first;
        return it->second;
    };
    // The jobs print on A6, the smallest size every model has, to keep the run short; the
    // page sizes and the feed edge are compared on their own sizes.
    const std::string small = " PageSize=A6";
    const std::string &base = job(small.substr(1));
    ASSERT_FALSE(base.empty());
    const Reading def{m.platform, base};
    for (ppd_option_t *o = ppdFirstOption(ppd.get()); o != nullptr; o = ppdNextOption(ppd.get())) {
        const std::string name = o->keyword;
        // PageRegion is PageSize for the rasteriser; the colour model has one choice.
        if (name == "PageRegion" || name == "ColorModel") continue;
        for (int c = 0; c < o->num_choices; ++c) {
            const std::string choice = o->choices[c].choice;
            // A custom size needs its dimensions; the custom-size checks cover it.
            if (choice == o->defchoice || choice == "Custom") continue;
            SCOPED_TRACE(name + "=" + choice);
            std::string options = name + "=" + choice;
            if (name != "PageSize" && name != "FeedLongEdge") options += small;
            // The PIN digits only matter in a locked job: compare with the locked default.
            std::string against;
            if (name.rfind("PinNum", 0) == 0) {
                options = "LockedPinPrint=True " + options;
                against = job("LockedPinPrint=True" + small);
            } else if (name == "FeedLongEdge") {
                // Only sizes with a long-edge paper code are fed long edge first: A5 on every
                // dialect; on the QV models, whose A5 is fed long edge by default, Legal.
                const std::string size = m.group == ModelGroup::QV && choice == "True"
                                             ? " PageSize=Legal"
                                             : " PageSize=A5";
                options += size;
                against = job(size.substr(1));
            } else if (name == "PageSize") {
                against = job(""); // the queue's default size
            } else {
                against = base;
            }
            const std::string &got = job(options);
            ASSERT_FALSE(got.empty()) << "the job was refused";
            const Reading r{m.platform, got}, was{m.platform, against};
            if (name == "cupsPrintQuality" && choice == "Draft") {
                // The printers have no draft mode: draft prints as normal.
                EXPECT_TRUE(got == base) << "draft differs from normal";
                continue;
            }
            EXPECT_TRUE(got != against) << "the choice leaves the stream unchanged";
            if (name == "Density") {
                EXPECT_EQ(r.Density(), std::stol(choice));
            } else if (name == "TonerMode") {
                EXPECT_EQ(r.Density(), 0);
            } else if (name == "Collate") {
                EXPECT_EQ(def.Copies(), 1); // collated: each page announced once, replayed
                EXPECT_EQ(r.Copies(), 2);   // the printer makes the copies
            } else if (name == "InputSlot") {
                EXPECT_EQ(r.Tray(), choice == "Tray1" ? 3 : choice == "ManualFeed" ? 1 : -2);
            } else if (name == "Resolution") {
                EXPECT_EQ(r.ResolutionX(), m.platform == PLATFORM_M ? 1200 : 120);
            } else if (name == "Duplex") {
                if (m.platform == PLATFORM_C)
                    EXPECT_EQ(r.JobFlags() & 0x20, 0x20u) << "printer duplex";
                else if (m.group == ModelGroup::QV) // one sheet: the printer feeds it by hand
                    EXPECT_TRUE(r.Has("@PJL SET MANUALFEED=ON")) << "manual duplex";
                else
                    EXPECT_TRUE(r.Has("\x0B\x04\x1B\xD6")) << "manual-duplex command";
            } else if (name == "Booklet") {
                EXPECT_EQ(r.JobFlags() & 0x08, 0x08u);
            } else if (name == "FineMode") {
                EXPECT_EQ(r.FineMode(), 1);
            } else if (name == "BlankSuppress") {
                EXPECT_FALSE(def.Has("@PJL SET BLANKSUPPRESS=")) << "the printer's own setting";
                EXPECT_TRUE(r.Has(choice == "True" ? "@PJL SET BLANKSUPPRESS=ENABLE\n"
                                                   : "@PJL SET BLANKSUPPRESS=DISABLE\n"));
            } else if (name == "LockedPinPrint") {
                EXPECT_TRUE(r.Has("@PJL SET JOBPASSWORD=\"0000\"\n"));
            } else if (name.rfind("PinNum", 0) == 0) {
                std::string pin = "0000";
                pin[name.back() - '1'] = choice[0];
                EXPECT_TRUE(r.Has("@PJL SET JOBPASSWORD=\"" + pin + "\"\n")) << pin;
            } else if (name == "PageSize") {
                EXPECT_NE(r.Paper(), was.Paper()) << "another paper code";
            } else if (name == "FeedLongEdge" && m.group != ModelGroup::QV) {
                // The feed edge flag (platform C) or the long-edge paper code (Z and M).
                if (m.platform == PLATFORM_C)
                    EXPECT_EQ(Byte(r.PageSpec(), 8) & 0x40, 0x40u);
                else
                    EXPECT_EQ(r.Paper(), m.platform == PLATFORM_Z ? 18 : 61);
            } else if (name == "FeedLongEdge") {
                // The QV models turn the page for either edge; that the stream differs shows it.
            } else {
                // DPI1200, cupsPrintQuality High, ImageRotation, NegativePrint: the page data.
                if (name != "cupsPrintQuality" || !m.prints1200dpi) {
                    EXPECT_EQ(Fields(r), Fields(def)) << "only the page data should change";
                }
            }
        }
    }
}

TEST(PpdChoices, EveryChoiceOfEveryModelChangesTheJobAsItSays) {
    const std::vector<ModelInfo> models(AllModels().begin(), AllModels().end());
    // Two threads: the jobs are independent (one object per job).
    auto run = [&](std::size_t from) {
        for (std::size_t i = from; i < models.size(); i += 2)
            CheckModel(models[i], std::string(KELVRA_PPD_OUT) + "/" + models[i].ppdFileName);
    };
    std::thread other(run, 1);
    run(0);
    other.join();
}

// The PDF route's PPDs offer the very same options, choices and defaults.
TEST(PpdChoices, BothInputRoutesOfferTheSameOptions) {
    for (const ModelInfo &m : AllModels()) {
        SCOPED_TRACE(m.ppdFileName);
        PpdPtr raster(ppdOpenFile((std::string(KELVRA_PPD_OUT) + "/" + m.ppdFileName).c_str()));
        PpdPtr pdf(ppdOpenFile((std::string(KELVRA_PPD_PDF_OUT) + "/" + m.ppdFileName).c_str()));
        ASSERT_TRUE(raster && pdf);
        auto describe = [](ppd_file_t *p) {
            std::string d;
            for (ppd_option_t *o = ppdFirstOption(p); o != nullptr; o = ppdNextOption(p)) {
                d += std::string(o->keyword) + "*" + o->defchoice + ":";
                for (int c = 0; c < o->num_choices; ++c)
                    d += std::string(o->choices[c].choice) + ",";
                d += ";";
            }
            return d;
        };
        EXPECT_EQ(describe(raster.get()), describe(pdf.get()));
    }
}

} // namespace
