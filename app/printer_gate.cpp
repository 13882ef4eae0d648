#include "app/printer_gate.h"

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

pappl_device_t *OpenDeviceAfterWait(pappl_job_t *job) {
    pappl_printer_t *printer = papplJobGetPrinter(job);
    const char *uri = papplPrinterGetDeviceURI(printer);
    if (uri == nullptr || std::strncmp(uri, "file:", 5) != 0) return nullptr;
    return papplDeviceOpen(uri, papplJobGetName(job), papplLogDevice,
                           papplPrinterGetSystem(printer));
}
