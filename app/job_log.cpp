#include "app/job_log.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

struct JobLogCookie {
    pappl_job_t *job;
    JobLogWatcher watcher;
    std::string partial; // text after the last line end
};

// One whole line: its level from its prefix; the message-worthy ones also set the job's
// state message, without their prefix.
void LogLine(const JobLogCookie &c, std::string_view line) {
    struct Prefix {
        std::string_view text;
        pappl_loglevel_t level;
        bool message;
    };
    static constexpr Prefix kPrefixes[] = {{"ERROR:", PAPPL_LOGLEVEL_ERROR, true},
                                           {"WARNING:", PAPPL_LOGLEVEL_WARN, true},
                                           {"INFO:", PAPPL_LOGLEVEL_INFO, true},
                                           {"DEBUG:", PAPPL_LOGLEVEL_DEBUG, false}};
    pappl_loglevel_t level = PAPPL_LOGLEVEL_DEBUG;
    bool message = false;
    for (const Prefix &p : kPrefixes) {
        if (line.starts_with(p.text)) {
            line.remove_prefix(p.text.size());
            level = p.level;
            message = p.message;
            break;
        }
    }
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    if (line.empty()) return;
    const std::string text(line);
    papplLogJob(c.job, level, "%s", text.c_str());
    if (message) papplJobSetMessage(c.job, "%s", text.c_str());
    if (c.watcher) c.watcher(level, text);
}

ssize_t WriteCookie(void *cookie, const char *data, size_t size) {
    auto *c = static_cast<JobLogCookie *>(cookie);
    c->partial.append(data, size);
    std::size_t start = 0, end;
    while ((end = c->partial.find('\n', start)) != std::string::npos) {
        LogLine(*c, std::string_view(c->partial).substr(start, end - start));
        start = end + 1;
    }
    c->partial.erase(0, start);
    return static_cast<ssize_t>(size);
}

int CloseCookie(void *cookie) {
    auto *c = static_cast<JobLogCookie *>(cookie);
    if (!c->partial.empty()) LogLine(*c, c->partial);
    delete c;
    return 0;
}

} // namespace

// Line buffered: a line reaches the log when it is complete.
std::FILE *OpenJobLog(pappl_job_t *job, JobLogWatcher watcher) {
    auto *cookie = new JobLogCookie{job, std::move(watcher), {}};
    cookie_io_functions_t io{};
    io.write = WriteCookie;
    io.close = CloseCookie;
    std::FILE *f = fopencookie(cookie, "w", io);
    if (f == nullptr) {
        delete cookie;
        return nullptr;
    }
    setvbuf(f, nullptr, _IOLBF, 0);
    return f;
}
