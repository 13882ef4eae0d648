#include "core/fast_route.h"

#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/child_process.h"
#include "common/model_catalogue.h"
#include "core/page_plan.h"
#include "imaging/gs_screen.h"
#include "imaging/halftone.h"

// The job's own 1-bit screen, in the phase of the first column the page keeps.
std::optional<FastRoute> FastRouteFor(const JobSettings &s, const cups_page_header2_t &page,
                                      bool twoSided) {
    if (TraitsOf(s.group).libraryHalftones || s.screenBits != 1 || s.twoBitPages)
        return std::nullopt;
    const ScreenSpec screen =
        ScreenOf(s.platform, s.newScreens, s.options.quality == Quality::Dpi1200);
    if (!GhostscriptHalftonesExactly(screen) || s.options.rotate180 ||
        s.options.feed == FeedEdge::Long || s.customPageRequested || twoSided)
        return std::nullopt;
    // The driver centres the lines of a page narrower than the rendered one: the screen takes
    // the phase of the first column it keeps.
    JobPosition at;
    at.page = 1;
    at.options = &s.options;
    const PagePlan plan = PlanPage(s, page, at);
    if (!plan.banded) return std::nullopt;
    const unsigned first = page.cupsWidth > plan.width ? (page.cupsWidth - plan.width) / 2 : 0;
    const unsigned period = static_cast<unsigned>(SelectHalftoneScreen(screen.matrix).period);
    return FastRoute{screen, first % period};
}

// Ghostscript's page report (-dPDFINFO, on its standard error) names each page that uses
// transparency; the report is read whole, a few lines per page.
bool UsesTransparency(const char *file, const std::string &tmpRoot) {
    if (file == nullptr || *file == '\0') return true;
    int fds[2];
    if (pipe(fds) != 0) return true;
    ChildProcess gs;
    const std::vector<std::string> args = {
        "/usr/bin/gs",      "-q",        "-dSAFER",   "-dNODISPLAY",
        "-dBATCH",          "-dNOPAUSE", "-dPDFINFO", std::string("--permit-file-read=") + file,
        "-sstdout=%stderr", "-f",        file};
    const int err = StartChildProcess(gs, args, tmpRoot, fds[1]);
    close(fds[1]);
    std::string report;
    char buf[4096];
    ssize_t n;
    while (err == 0 && (n = read(fds[0], buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        report.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    const int status = err == 0 ? FinishChildProcess(gs, false) : -1;
    const bool reported = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                          report.find("MediaBox") != std::string::npos;
    return !reported || report.find("uses transparency") != std::string::npos;
}

namespace {

// Finds the names of a transfer function or halftone in PDF text fed to it piece by piece.
class ScreenNameScanner {
  public:
    void Feed(const char *data, size_t n) {
        for (size_t i = 0; i < n && !found_; ++i) {
            const char c = data[i];
            if (length_ >= 0 && std::isalnum(static_cast<unsigned char>(c))) {
                if (length_ < 4) name_[length_] = c;
                ++length_;
                continue;
            }
            if (length_ >= 0) found_ = IsScreenName();
            length_ = c == '/' ? 0 : -1; // a name's characters follow its slash
        }
    }
    bool Found() const { return found_; }

  private:
    bool IsScreenName() const {
        const auto is = [this](const char *name) {
            return static_cast<size_t>(length_) == std::strlen(name) &&
                   std::memcmp(name_, name, static_cast<size_t>(length_)) == 0;
        };
        return is("TR") || is("TR2") || is("HT") || is("HTP");
    }
    char name_[4] = {};
    int length_ = -1; // characters of the name being read, -1 outside a name
    bool found_ = false;
};

// The raw bytes of a PDF, with the data of its streams left out except that of Flate-compressed
// object streams, which is inflated: the text where dictionaries live.
class PdfDictionaryText {
  public:
    explicit PdfDictionaryText(ScreenNameScanner &out) : out_(out) {}
    PdfDictionaryText(const PdfDictionaryText &) = delete;
    PdfDictionaryText &operator=(const PdfDictionaryText &) = delete;
    ~PdfDictionaryText() {
        if (inflating_) inflateEnd(&z_);
    }
    // False for an object stream that does not inflate.
    bool Feed(const char *data, size_t n) {
        size_t i = 0;
        while (i < n) {
            if (inStream_) {
                // The data runs to "endstream", which may straddle two pieces; bytes of the
                // keyword that reach the inflater come after the compressed data's end.
                const size_t head = std::min<size_t>(8, n - i);
                const size_t straddle = (carry_ + std::string(data + i, head)).find("endstream");
                size_t len, next;
                if (straddle != std::string::npos) {
                    len = next = straddle + 9 - carry_.size();
                } else {
                    const void *hit = memmem(data + i, n - i, "endstream", 9);
                    len = hit ? static_cast<size_t>(static_cast<const char *>(hit) - (data + i))
                              : n - i;
                    next = hit ? len + 9 : 0;
                }
                if (inflating_ && !Inflate(data + i, len)) return false;
                if (next == 0) {
                    carry_ += std::string(data + i, n - i);
                    if (carry_.size() > 8) carry_.erase(0, carry_.size() - 8);
                    return true;
                }
                i += next;
                EndStream();
                continue;
            }
            const char c = data[i++];
            out_.Feed(&c, 1);
            dict_ += c;
            if (dict_.size() > 8192) dict_.erase(0, dict_.size() - 4096);
            if (c == '\n' && EndsWithStreamKeyword()) StartStream();
        }
        return true;
    }

  private:
    // The text ends with the keyword "stream" and its end of line ("endstream" does not count).
    bool EndsWithStreamKeyword() const {
        size_t end = dict_.size() - 1; // the '\n'
        if (end > 0 && dict_[end - 1] == '\r') --end;
        return end >= 6 && dict_.compare(end - 6, 6, "stream") == 0 &&
               (end < 9 || dict_.compare(end - 9, 3, "end") != 0);
    }
    void StartStream() {
        inStream_ = true;
        carry_.clear();
        const size_t objStart = dict_.rfind(" obj");
        const std::string dict = dict_.substr(objStart == std::string::npos ? 0 : objStart);
        if (dict.find("/ObjStm") != std::string::npos &&
            dict.find("/FlateDecode") != std::string::npos) {
            z_ = {};
            inflating_ = inflateInit(&z_) == Z_OK;
        }
        dict_.clear();
    }
    void EndStream() {
        inStream_ = false;
        if (inflating_) inflateEnd(&z_);
        inflating_ = false;
    }
    bool Inflate(const char *data, size_t n) {
        z_.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        z_.avail_in = static_cast<uInt>(n);
        while (inflating_ && z_.avail_in > 0) {
            char buf[16384];
            z_.next_out = reinterpret_cast<Bytef *>(buf);
            z_.avail_out = sizeof buf;
            const int rc = inflate(&z_, Z_NO_FLUSH);
            out_.Feed(buf, sizeof buf - z_.avail_out);
            if (rc == Z_STREAM_END) {
                inflateEnd(&z_);
                inflating_ = false;
            } else if (rc != Z_OK) {
                return false;
            }
        }
        return true;
    }

    ScreenNameScanner &out_;
    std::string dict_, carry_;
    bool inStream_ = false, inflating_ = false;
    z_stream z_{};
};

} // namespace

// The file is read in pieces, so that a large document costs little memory.
bool SetsTransferOrHalftone(const char *file) {
    std::FILE *f = file ? std::fopen(file, "rb") : nullptr;
    if (f == nullptr) return true;
    ScreenNameScanner names;
    PdfDictionaryText text(names);
    char buf[65536];
    size_t n;
    bool ok = true;
    while (ok && !names.Found() && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
        ok = text.Feed(buf, n);
    ok = ok && !std::ferror(f);
    std::fclose(f);
    return !ok || names.Found();
}

const char *PdfKeepsEightBitRoute(const char *file, const std::string &tmpRoot) {
    if (SetsTransferOrHalftone(file)) return "sets a transfer function or halftone";
    if (UsesTransparency(file, tmpRoot)) return "uses transparency";
    return nullptr;
}
