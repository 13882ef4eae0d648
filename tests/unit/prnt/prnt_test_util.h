// Shared helpers of the command-stream tests: one job's command stream over a printer stream
// held in memory and frame access; the expected bytes come from tests/support/wire_frames.h.
#pragma once

#include "common/job_settings.h"
#include "common/last_error.h"
#include "common/sink.h"
#include "prnt/prnt.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_fixture.h"
#include "tests/support/wire_frames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <unistd.h>

namespace prnt_test {

using wire::ByteSum;
using wire::Hex;
using wire::ToHex;

// The wire bytes of a frame record.
template <typename Frame> std::string Str(const Frame &f) {
    return std::string(reinterpret_cast<const char *>(f.bytes), sizeof f.bytes);
}

// Prefix of `bytes` made of its first `writes` writes (sizes from a recorded run).
inline std::string FirstWrites(const std::string &bytes, const std::vector<std::size_t> &sizes,
                               std::size_t writes) {
    std::size_t len = 0;
    for (std::size_t i = 0; i < writes && i < sizes.size(); ++i)
        len += sizes[i];
    return bytes.substr(0, len);
}

// Local time is UTC from here on, so that the job time of TestSettings (2026-01-01 00:00 UTC)
// gives the same date and JOBTIME on every machine.
inline void UseUtc() {
    setenv("TZ", "UTC0", 1);
    tzset();
}

// One job's command stream: the settings of a model group on a dialect (TestSettings), the
// printer stream in memory, the job's error text and spool files in a temporary directory
// (none is open until a test opens one).
struct TestJob {
    explicit TestJob(int platform, ModelGroup group = ModelGroup::Plain)
        : settings(TestSettings(platform, group)) {}
    TestJob(const TestJob &) = delete;
    TestJob &operator=(const TestJob &) = delete;

    const std::string &Out() const { return writer.bytes; }
    // Opens the collate spool (every item sent with the cache flag goes there too).
    bool OpenCollateSpool() {
        std::string name;
        return sink.OpenSpool(Spool::Collate, name);
    }
    // What the collate spool holds.
    std::string Spooled() const {
        std::string out;
        char buf[4096];
        off_t at = 0;
        ssize_t n;
        while ((n = pread(sink.SpoolFd(Spool::Collate), buf, sizeof buf, at)) > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            at += n;
        }
        return out;
    }

    JobSettings settings;
    MemoryWriter writer;
    ErrorText error;
    TempDir dir;
    TestSpoolFiles spoolFiles{dir.path()};
    OutputSink sink{writer, error, &spoolFiles};
    PrntStream stream{settings, sink, error, 0, false, 0, 0, {}};
};

} // namespace prnt_test
