// Test helpers for the option tests: parsed option lists, and small PPD files written into a
// private temporary directory and removed again.
#pragma once

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <gtest/gtest.h>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Parsed CUPS options that free themselves.
struct ParsedOptions {
    explicit ParsedOptions(const char *text) { num = cupsParseOptions(text, 0, &options); }
    ~ParsedOptions() { cupsFreeOptions(num, options); }
    ParsedOptions(const ParsedOptions &) = delete;
    ParsedOptions &operator=(const ParsedOptions &) = delete;
    int num = 0;
    cups_option_t *options = nullptr;
};

struct PpdCloser {
    void operator()(ppd_file_t *p) const { ppdClose(p); }
};
using PpdHandle = std::unique_ptr<ppd_file_t, PpdCloser>;

class TempPpd {
  public:
    TempPpd() {
        char tmpl[] = "/tmp/optppd.XXXXXX";
        if (mkdtemp(tmpl) != nullptr) dir_ = tmpl;
        path_ = dir_ + "/queue.ppd";
    }
    ~TempPpd() {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    TempPpd(const TempPpd &) = delete;
    TempPpd &operator=(const TempPpd &) = delete;

    // Writes a PPD with one pick-one option per (keyword, default choice) pair, each with
    // the choices True, False and its default; `extra` is appended verbatim.
    const std::string &Write(const std::vector<std::pair<std::string, std::string>> &defaults,
                             const std::string &extra = "") {
        std::ofstream f(path_);
        f << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
          << "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
          << "*PCFileName: \"QUEUE.PPD\"\n*Manufacturer: \"Test\"\n*Product: \"(Test)\"\n"
          << "*ModelName: \"Test Model\"\n*ShortNickName: \"Test\"\n*NickName: \"Test\"\n";
        for (const auto &[key, def] : defaults) {
            f << "*OpenUI *" << key << ": PickOne\n*Default" << key << ": " << def << "\n";
            f << "*" << key << " True: \"\"\n*" << key << " False: \"\"\n";
            if (def != "True" && def != "False") f << "*" << key << " " << def << ": \"\"\n";
            f << "*CloseUI: *" << key << "\n";
        }
        f << extra;
        return path_;
    }
    // Opens the PPD as written last.
    PpdHandle Open() const { return PpdHandle(ppdOpenFile(path_.c_str())); }
    const std::string &path() const { return path_; }

  private:
    std::string dir_, path_;
};
