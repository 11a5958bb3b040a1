#include "qev/base/parallel.h"

#include <chrono>
#include <climits>
#include <system_error>
#include <thread>
#include <vector>

int iDefaultWorkerCount()
{
    unsigned int ui = std::thread::hardware_concurrency();
    return ui < 1 ? 1 : (ui > 64 ? 64 : static_cast<int>(ui));
}

void vRunWorkers(int iWorkers, const std::function<void(int, int)>& fnWork)
{
    if (iWorkers < 1) iWorkers = 1;
    std::vector<std::thread> aoThreads;
    std::vector<int> aiHere = {0}; // shares done on the calling thread
    for (int i = 1; i < iWorkers; i++)
    {
        // A thread that cannot be started leaves its share to the calling thread.
        try
        {
            aoThreads.emplace_back(fnWork, i, iWorkers);
        }
        catch (const std::system_error&)
        {
            aiHere.push_back(i);
        }
    }
    for (int i : aiHere)
        fnWork(i, iWorkers);
    for (std::thread& o : aoThreads)
        o.join();
}

RowWave::RowWave(int iRows) : m_paoDone(new tdRowDone[iRows > 0 ? iRows : 1]) {}

int RowWave::iAwait(int iY, int iColumns)
{
    if (iY <= 0) return INT_MAX;
    const std::atomic<int>& iDone = m_paoDone[iY - 1].m_iColumns;
    // Rows of the same picture follow each other closely, so a wait is short while
    // both run; on a busy machine the row above may not be running at all, and
    // then short sleeps leave it the processor.
    for (int iTry = 0;; iTry++)
    {
        const int iSeen = iDone.load(std::memory_order_acquire);
        if (iSeen >= iColumns) return iSeen;
        if (m_bStopped.load(std::memory_order_relaxed)) return -1;
        if (iTry < 64)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

void RowWave::vPublish(int iY, int iColumns)
{
    m_paoDone[iY].m_iColumns.store(iColumns, std::memory_order_release);
}

void RowWave::vStop()
{
    m_bStopped.store(true, std::memory_order_relaxed);
}

void vRunRowWave(int iRows, int iWorkers, const std::function<bool(int, int, RowWave&)>& fnRow)
{
    if (iWorkers < 1) iWorkers = 1;
    if (iWorkers > iRows) iWorkers = iRows > 0 ? iRows : 1;
    RowWave oWave(iRows);
    // Rows are taken in order by whichever worker is free, so the row above a
    // waiting row is always held by a running worker (one that could not be started
    // takes none), and no more than iWorkers rows are in flight: row iY - iWorkers
    // has published all its columns before row iY is taken.
    std::atomic<int> iNextRow{0};
    vRunWorkers(iWorkers,
                [&](int iWorker, int)
                {
                    for (int y = iNextRow++; y < iRows; y = iNextRow++)
                    {
                        if (oWave.bStopped() || !fnRow(y, iWorker, oWave))
                        {
                            oWave.vStop();
                            return;
                        }
                        oWave.vPublish(y, INT_MAX);
                    }
                });
}
