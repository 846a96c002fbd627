#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/afs-scan/store/ScanDatabase.h"

namespace afs_scan {

// Writes the items of one job into the scan database on a thread of its own,
// so that the plug-in's page loading and the inserts overlap. Items are
// handed over in batches through a bounded queue: a fixed set of batches is
// filled, written and refilled, so memory does not grow with the job, and
// the caller waits when the writer falls behind.
//
// Add and Finish are called from one thread. The database must have begun
// the job and must not be used by anyone else until Finish has returned.
class CScanWriter {
public:
    CScanWriter(CScanDatabase& database, size_t uBatchRows, size_t uQueuedBatches);
    // Finish() if the caller did not; never throws.
    ~CScanWriter();
    CScanWriter(const CScanWriter&) = delete;
    CScanWriter& operator=(const CScanWriter&) = delete;

    // Copies `item` into the current batch. Returns the writer's first
    // failure once it has happened, so that the loading stops.
    CRhError Add(const ScanItem& item);
    // Hands over the current batch and waits until everything is written;
    // the database is then idle until the next Add. Returns the first failure.
    CRhError Drain();
    // Hands over the last batch, waits until everything is written and ends
    // the thread. Returns the first failure.
    CRhError Finish();
    // True once a write has failed: the job cannot end well.
    bool HasFailed() const { return bFailed.load(); }

private:
    struct Batch {
        std::vector<ScanItem> listItems;
        size_t uUsed = 0;
    };
    void HandOver();
    void WriteLoop();

    CScanDatabase& database;
    std::vector<Batch> listBatches;
    Batch* ptrFilling = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch*> queueFull;  // to be written, oldest first
    bool bWriting = false;         // a batch is being written
    std::vector<Batch*> listFree;  // written, ready to be filled
    bool bClosing = false;
    CRhError error;                    // the writer's first failure
    std::atomic<bool> bFailed{false};  // set once, after `error`
    std::thread thread;
};

}  // namespace afs_scan
