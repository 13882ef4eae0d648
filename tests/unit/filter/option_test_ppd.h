// Test helper for the option tests: writes small PPD files into a private temporary
// directory and removes them again.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

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
    const std::string &path() const { return path_; }
    const std::string &dir() const { return dir_; }

  private:
    std::string dir_, path_;
};

// Sets the PPD environment variable for the lifetime of the object.
class PpdEnv {
  public:
    explicit PpdEnv(const std::string &path) { setenv("PPD", path.c_str(), 1); }
    ~PpdEnv() { unsetenv("PPD"); }
};
