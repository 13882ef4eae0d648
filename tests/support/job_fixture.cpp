#include "tests/support/job_fixture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

int MemoryWriter::Write(const uint8_t *data, std::size_t count) {
    const int n = static_cast<int>(writes.size()) + 1;
    if (failAt != 0 && n >= failAt && (failFromThenOn || n < failAt + failCount)) {
        writes.push_back(0);
        return failErrno;
    }
    writes.push_back(count);
    bytes.append(reinterpret_cast<const char *>(data), count);
    return 0;
}

int TestSpoolFiles::Create(std::string &name) {
    ++created;
    std::string path = dir_ + "/spoolXXXXXX";
    name = path;
    if (failOn != 0 && created == failOn) {
        errno = ENOSPC;
        return -1;
    }
    if (fullOn != 0 && created == fullOn) {
        name = "/dev/full";
        return open("/dev/full", O_RDWR | O_CLOEXEC);
    }
    const int fd = mkstemp(path.data());
    if (fd < 0) return -1;
    name = path;
    open_.emplace_back(fd, path);
    return fd;
}

void TestSpoolFiles::Remove(int fd) {
    ++removed;
    close(fd);
    for (auto it = open_.begin(); it != open_.end(); ++it) {
        if (it->first != fd) continue;
        unlink(it->second.c_str());
        open_.erase(it);
        return;
    }
}

LogCapture::LogCapture() : file_(open_memstream(&buf_, &size_)) {}

LogCapture::~LogCapture() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(buf_);
}

std::string LogCapture::Text() {
    std::fflush(file_);
    return std::string(buf_, size_);
}

JobSettings TestSettings(int platform, ModelGroup group) {
    JobSettings s;
    s.platform = platform;
    s.group = group;
    s.modelName = "Test Model";
    switch (platform) {
    case PLATFORM_C:
        s.paperTable = gPaperSizeArray_TK76;
        break;
    case PLATFORM_Z:
        s.paperTable = gPaperSizeArray_RT74_RTV72;
        break;
    case PLATFORM_M:
        s.paperTable = gPaperSizeArray_RT40_RTV54;
        break;
    default:
        break;
    }
    if (group == ModelGroup::QV) {
        s.colorBits = 2;
        s.twoBitPages = true;
        s.supportsManualDuplex = true;
    }
    s.identity.jobId = 1;
    s.identity.jobIdText = std::to_string(s.identity.jobId);
    s.identity.user = "tester";
    s.identity.title = "test job";
    s.identity.host = "testhost";
    s.identity.time = 1767225600; // 2026-01-01 00:00 UTC
    return s;
}

std::string FdContents(int fd) {
    std::string out;
    char buf[8192];
    off_t offset = 0;
    ssize_t n;
    while ((n = pread(fd, buf, sizeof buf, offset)) > 0) {
        out.append(buf, static_cast<std::size_t>(n));
        offset += n;
    }
    return out;
}
