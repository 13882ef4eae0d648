#include "app/printer_gate.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {
constexpr auto kCancelCheck = std::chrono::milliseconds(200);
} // namespace

bool PrinterGate::Enter(pappl_job_t *job, bool &waited) {
    pappl_system_t *system = papplPrinterGetSystem(papplJobGetPrinter(job));
    std::unique_lock<std::mutex> lock(mutex_);
    waited = false;
    while (busy_) {
        waited = true;
        if (papplJobIsCanceled(job) || !papplSystemIsRunning(system)) return false;
        free_.wait_for(lock, kCancelCheck);
    }
    busy_ = true;
    return true;
}

void PrinterGate::Leave() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
    }
    free_.notify_one();
}

bool PrinterGate::BeginRun(int jobId, bool &result) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto find = [&] {
        return std::find_if(runs_.begin(), runs_.end(),
                            [jobId](const Run &run) { return run.jobId == jobId; });
    };
    if (find() == runs_.end()) {
        if (runs_.size() >= kRunsKept && runs_.front().ended) runs_.pop_front();
        runs_.push_back({jobId, false, false});
        return true;
    }
    runEnded_.wait(lock, [&] {
        const auto run = find();
        return run == runs_.end() || run->ended;
    });
    const auto run = find();
    result = run == runs_.end() || run->result; // forgotten only long after it ended
    return false;
}

void PrinterGate::EndRun(int jobId, bool result) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Run &run : runs_)
            if (run.jobId == jobId) run = {jobId, true, result};
    }
    runEnded_.notify_all();
}

pappl_device_t *OpenDeviceAfterWait(pappl_job_t *job) {
    pappl_printer_t *printer = papplJobGetPrinter(job);
    const char *uri = papplPrinterGetDeviceURI(printer);
    if (uri == nullptr || std::strncmp(uri, "file:", 5) != 0) return nullptr;
    return papplDeviceOpen(uri, papplJobGetName(job), papplLogDevice,
                           papplPrinterGetSystem(printer));
}
