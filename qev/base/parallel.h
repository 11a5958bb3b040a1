#pragma once

#include <atomic>
#include <functional>
#include <memory>

// Work spread over threads. Results must not depend on the worker count: callers
// give each worker a fixed share whose outcome is the same whoever computes it.

// The workers to use when the caller names no count: one per processor (at least
// one, at most 64).
int iDefaultWorkerCount();

// Runs fnWork(iWorker, iWorkers) for iWorker = 0..iWorkers-1 (iWorkers below 1
// counts as 1), worker 0 on the calling thread and the others on threads of their
// own (or on the calling thread when one cannot be started), and returns when all
// have finished.
void vRunWorkers(int iWorkers, const std::function<void(int, int)>& fnWork);

// Rows that depend on the row above, each only up to some column: row iY may
// handle a column once row iY - 1 has published enough columns.
class RowWave
{
public:
    explicit RowWave(int iRows);

    // Waits until row iY - 1 has published at least iColumns columns and returns
    // how many it has published (row 0 never waits: INT_MAX). -1 when the wave was
    // stopped meanwhile: the row is to be left.
    int iAwait(int iY, int iColumns);

    // Row iY has finished its first iColumns columns; the writes before this call
    // are visible to a row that bAwait-ed them.
    void vPublish(int iY, int iColumns);

    // Every wait returns false from now on.
    void vStop();
    bool bStopped() const { return m_bStopped.load(std::memory_order_relaxed); }

private:
    struct alignas(64) tdRowDone
    {
        std::atomic<int> m_iColumns{0};
    };
    std::unique_ptr<tdRowDone[]> m_paoDone;
    std::atomic<bool> m_bStopped{false};
};

// Runs fnRow(iY, iWorker, oWave) for rows 0..iRows-1 on up to iWorkers workers
// (iWorker below iWorkers names the worker), rows started in order, each
// published complete when fnRow returns true. At most iWorkers rows are in
// flight: when row iY starts, row iY - iWorkers has published all its columns. A
// false return stops the wave (a cancelled run) and no later row starts.
void vRunRowWave(int iRows, int iWorkers, const std::function<bool(int, int, RowWave&)>& fnRow);
