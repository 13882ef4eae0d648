// One job at a time in the driver per printer. PAPPL 1.3.1 can start a queued job while a
// streamed raster job of the same printer is being started (it looks for a processing job,
// lets go of the printer, then starts the raster job): both jobs would write to the printer's
// one device, and the first to end closes a file: device under the other. The later job waits
// here until the earlier one has left the driver.
#pragma once

#include <pappl/pappl.h>

#include <condition_variable>
#include <deque>
#include <mutex>

class PrinterGate {
  public:
    // Waits until no other job of the printer is in the driver; false when `job` is cancelled
    // or the server stops while it waits. `waited` says whether another job was in.
    bool Enter(pappl_job_t *job, bool &waited);
    void Leave();

    // PAPPL 1.3.1 can also start one queued job twice: two threads that look for work at the
    // same moment (a client whose document has just arrived, a job that ends) both see it
    // pending and each starts a run of it. The second run must neither print the job again nor
    // read its document, which the end of the first run removes. BeginRun is true for the
    // job's first run; a later run gets false once the first has ended, with the first run's
    // outcome in `result`, so that PAPPL leaves the job in the state the first run gave it.
    bool BeginRun(int jobId, bool &result);
    void EndRun(int jobId, bool result);

  private:
    struct Run {
        int jobId;
        bool ended;
        bool result;
    };
    static constexpr std::size_t kRunsKept = 64; // ended runs remembered for a late second start

    std::mutex mutex_;
    std::condition_variable free_;
    std::condition_variable runEnded_;
    bool busy_ = false;
    std::deque<Run> runs_;
};

// The device a job that had to wait writes to: PAPPL closes a file: device after every job,
// so the earlier job's end leaves the waiting one a closed device; it opens its own. Other
// devices stay open while the printer has jobs. Null: use the device PAPPL passes.
pappl_device_t *OpenDeviceAfterWait(pappl_job_t *job);
