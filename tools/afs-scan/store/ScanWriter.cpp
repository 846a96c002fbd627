#include "tools/afs-scan/store/ScanWriter.h"

namespace afs_scan {

CScanWriter::CScanWriter(CScanDatabase& databaseIn, size_t uBatchRows, size_t uQueuedBatches)
    : database(databaseIn), listBatches(uQueuedBatches + 2) {
    for (Batch& batch : listBatches) {
        batch.listItems.resize(uBatchRows > 0 ? uBatchRows : 1);
        listFree.push_back(&batch);
    }
    ptrFilling = listFree.back();
    listFree.pop_back();
    thread = std::thread(&CScanWriter::WriteLoop, this);
}

CScanWriter::~CScanWriter() { Finish(); }

CRhError CScanWriter::Add(const ScanItem& item) {
    ScanItem& slot = ptrFilling->listItems[ptrFilling->uUsed++];
    // Assignments reuse the slot's string buffers from earlier rounds.
    slot = item;
    if (ptrFilling->uUsed == ptrFilling->listItems.size()) HandOver();
    if (!bFailed.load(std::memory_order_acquire)) return CRhError::Success();
    std::lock_guard<std::mutex> lock(mutex);
    return error;
}

void CScanWriter::HandOver() {
    std::unique_lock<std::mutex> lock(mutex);
    queueFull.push_back(ptrFilling);
    ptrFilling = nullptr;
    changed.notify_all();
    changed.wait(lock, [&] { return !listFree.empty(); });
    ptrFilling = listFree.back();
    listFree.pop_back();
}

CRhError CScanWriter::Drain() {
    if (ptrFilling->uUsed > 0) HandOver();
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return queueFull.empty() && !bWriting; });
    return bFailed ? error : CRhError::Success();
}

CRhError CScanWriter::Finish() {
    if (!thread.joinable()) return error;
    if (ptrFilling->uUsed > 0) HandOver();
    {
        std::lock_guard<std::mutex> lock(mutex);
        bClosing = true;
    }
    changed.notify_all();
    thread.join();
    return bFailed ? error : CRhError::Success();
}

void CScanWriter::WriteLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return bClosing || !queueFull.empty(); });
        if (queueFull.empty()) return;
        Batch* ptrBatch = queueFull.front();
        queueFull.pop_front();
        const bool bSkip = bFailed.load();
        bWriting = true;
        lock.unlock();
        // After a failure the rest is only drained: the job is lost anyway.
        CRhError result =
            bSkip ? CRhError::Success() : database.Insert(ptrBatch->listItems.data(), ptrBatch->uUsed);
        lock.lock();
        bWriting = false;
        if (result.IsError() && !bFailed.load()) {
            error = result;
            bFailed.store(true, std::memory_order_release);
        }
        ptrBatch->uUsed = 0;
        listFree.push_back(ptrBatch);
        changed.notify_all();
    }
}

}  // namespace afs_scan
