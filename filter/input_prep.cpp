#include "filter/input_prep.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cups/cups.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_process.h"
#include "filter/signals.h"
#include "filter/tempfile.h"

const char *gConverterPath = "/usr/lib/cups/filter/gstoraster";

namespace {
constexpr std::size_t kCopyBlock = 8192;
constexpr int kTempNameSize = 255; // name buffer of the copy of standard input

// Copies a NUL-terminated text into a buffer of `size` bytes; false when it does not fit.
bool CopyName(char *dst, std::size_t size, const char *src) {
    const std::size_t len = std::strlen(src);
    if (len >= size) return false;
    std::memcpy(dst, src, len + 1);
    return true;
}

// Writes all bytes, resuming after interruptions and partial writes.
bool WriteAll(int fd, const char *data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = write(fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// The directory of the screen-setting Ghostscript: kelvra-gs beside the filter's own program;
// empty when it is not there.
std::string ScreenGhostscriptDir() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string dir(self, static_cast<std::size_t>(n));
    dir = dir.substr(0, dir.rfind('/') + 1) + "kelvra-gs";
    return access((dir + "/gs").c_str(), X_OK) == 0 ? dir : std::string();
}

// Removes the filter's own copy of standard input.
void RemoveInputCopy(PdfConversion &conv) {
    if (!conv.input.empty() && IsRegisteredTempFile(conv.input.c_str()))
        RemoveTempFile(conv.input.c_str());
    conv.input.clear();
}
} // namespace

bool IsPdfContentType(const char *finalContentType) {
    return finalContentType != nullptr &&
           strcasestr(finalContentType, "application/vnd.cups-pdf") != nullptr;
}

bool FinalContentTypeIsPDF() {
    return IsPdfContentType(std::getenv("FINAL_CONTENT_TYPE"));
}

// A PDF on standard input must become a file: the converter reads its input by name.
bool Copy_StdinToTempFile(char *filename, std::size_t size) {
    if (filename == nullptr) {
        std::fputs("DEBUG: Unable to find input file.\n", stderr);
        return false;
    }
    char name[kTempNameSize] = {};
    const int fd = CreateTempFile(name, sizeof name);
    if (fd < 0) {
        std::fputs("DEBUG: Unable to creat temp file.\n", stderr);
        return false;
    }
    std::fprintf(stderr, "DEBUG:copying to temp print file \"%s\"\n", name);
    std::vector<char> block(kCopyBlock);
    const char *failure = nullptr;
    int failureErrno = 0;
    for (;;) {
        if (Canceled) { // SIGTERM while the document arrives: the job is over
            failure = "read the print data";
            failureErrno = ECANCELED;
            break;
        }
        const ssize_t n = read(STDIN_FILENO, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            failure = "read the print data";
            failureErrno = errno;
            break;
        }
        if (n == 0) break;
        if (!WriteAll(fd, block.data(), static_cast<std::size_t>(n))) {
            failure = "write the temporary file";
            failureErrno = errno;
            break;
        }
    }
    if (close(fd) != 0 && failure == nullptr) {
        failure = "write the temporary file";
        failureErrno = errno;
    }
    if (failure == nullptr && !CopyName(filename, size, name)) {
        failure = "store the temporary file name";
        failureErrno = ENAMETOOLONG;
    }
    if (failure != nullptr) {
        std::fprintf(stderr, "ERROR: Unable to %s: %s\n", failure, std::strerror(failureErrno));
        RemoveTempFile(name);
        return false;
    }
    return true;
}

void removestr(char *parameters, const char *srcstr, char tok_str) {
    if (parameters == nullptr || srcstr == nullptr || tok_str == 0) {
        std::fputs("prepdftopdf:the parameters is invalid!\n", stderr);
        return;
    }
    char *start = std::strstr(parameters, srcstr);
    if (start == nullptr) return;
    char *tok = std::strchr(start, tok_str);
    if (tok == nullptr) return;
    std::memmove(start, tok + 1, std::strlen(tok + 1) + 1);
}

// A custom page size of a named document is handed to the converter as A4: the filter
// lays the custom size out itself.
std::string ConverterOptions(const char *options) {
    if (options == nullptr) return {};
    if (strcasestr(options, "PageSize=Custom") == nullptr ||
        strcasestr(options, "document-name-supplied") == nullptr)
        return options;
    std::vector<char> buf(options, options + std::strlen(options) + 1);
    removestr(buf.data(), "PageRegion=", ' ');
    removestr(buf.data(), "PageSize=", ' ');
    return std::string(buf.data()) + " PageRegion=A4 PageSize=A4 ";
}

// The converter runs from an argument vector, so the job title, user and options reach it as
// single arguments whatever characters they hold.
bool StartPdfConversion(PdfConversion &conv, const char *inputfile, char *argv[],
                        std::optional<FastRoute> *fast) {
    if (inputfile == nullptr || argv == nullptr) {
        std::fputs("DEBUG: Illegal input parameter.\n", stderr);
        return false;
    }
    for (int i = 1; i <= 5; ++i) {
        if (argv[i] == nullptr) {
            std::fputs("DEBUG: Illegal input parameter.\n", stderr);
            return false;
        }
    }
    conv.input = inputfile;
    const std::string options = ConverterOptions(argv[5]);
    const std::vector<std::string> args = {gConverterPath, argv[1], argv[2],  argv[3],
                                           argv[4],        options, inputfile};
    std::fflush(stdout);
    std::fflush(stderr);
    const char *root = std::getenv("TMPDIR");
    std::vector<std::string> env;
    const std::string gsDir = fast && *fast ? ScreenGhostscriptDir() : std::string();
    if (fast && gsDir.empty()) fast->reset();
    if (!gsDir.empty()) {
        const char *path = std::getenv("PATH");
        env.push_back("PATH=" + gsDir + ":" + (path ? path : "/usr/bin:/bin"));
        env.push_back(
            "KELVRA_GS_SCREEN=" + std::to_string(static_cast<int>((*fast)->screen.matrix)) + ":" +
            std::to_string((*fast)->shift));
        std::fputs("DEBUG: Ghostscript halftones the pages with the job's screen\n", stderr);
    }
    const int err = StartChildProcess(conv.child, args, root && *root ? root : "/tmp", -1, env);
    if (err != 0) {
        std::fprintf(stderr, "ERROR: Unable to start the PDF converter %s: %s\n", gConverterPath,
                     std::strerror(err));
        RemoveInputCopy(conv);
        return false;
    }
    return true;
}

bool FinishPdfConversion(PdfConversion &conv, bool stop, bool cancelled, bool sawPage) {
    const bool started = conv.child.pid > 0;
    const int status = FinishChildProcess(conv.child, stop || cancelled);
    RemoveInputCopy(conv);
    if (!started) return false;
    if (cancelled) {
        std::fputs("ERROR: The PDF conversion was stopped: the job was cancelled\n", stderr);
        return false;
    }
    if (stop) return false; // the job stopped for a reason already reported
    if (status == -1) {
        std::fprintf(stderr, "ERROR: Lost track of the PDF converter %s\n", gConverterPath);
        return false;
    }
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "ERROR: The PDF converter %s was killed by signal %d\n",
                     gConverterPath, WTERMSIG(status));
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "ERROR: The PDF converter %s failed with exit status %d\n",
                     gConverterPath, WEXITSTATUS(status));
        return false;
    }
    if (!sawPage) {
        std::fprintf(stderr, "ERROR: The PDF converter %s produced no raster page\n",
                     gConverterPath);
        return false;
    }
    return true;
}

namespace {
// The value of an os-release line after its key: between the first and the last double
// quote when it has one, else everything after `afterKey`; at most 31 characters.
std::string OsReleaseValue(const std::string &line, std::size_t afterKey) {
    std::string value;
    const std::size_t first = line.find('"');
    if (first != std::string::npos) {
        const std::size_t last = line.rfind('"');
        value = line.substr(first + 1, last > first ? last - first - 1 : 0);
    } else {
        value = line.substr(afterKey);
    }
    if (value.size() > 31) value.resize(31);
    return value;
}
} // namespace

// Read straight from the file: no shell, no external command.
void get_os_info(char *os_info, std::size_t size, const char *path) {
    if (os_info == nullptr || size == 0 || path == nullptr) return;
    std::FILE *f = std::fopen(path, "r");
    if (f == nullptr) return;
    std::string id, version;
    char *line = nullptr;
    std::size_t cap = 0;
    ssize_t n;
    while ((n = getline(&line, &cap, f)) >= 0) {
        std::string text(line, static_cast<std::size_t>(n));
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.rfind("ID=", 0) == 0) {
            id = OsReleaseValue(text, 3);
        } else if (text.rfind("VERSION_ID=", 0) == 0) {
            version = OsReleaseValue(text, text.rfind('=') + 1);
        }
    }
    std::free(line);
    std::fclose(f);
    std::snprintf(os_info, size < 64 ? size : 64, "%s_%s", id.c_str(), version.c_str());
}
