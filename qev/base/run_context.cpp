#include "qev/base/run_context.h"

#include "qev/base/parallel.h"

bool bKeepRunning(const tdRunContext* poRun, double fDone)
{
    if (!poRun) return true;
    if (poRun->m_bStopped.load(std::memory_order_relaxed)) return false;
    if (!poRun->m_fnProgress) return true;
    std::lock_guard<std::mutex> oLock(poRun->m_oReportLock);
    if (poRun->m_bStopped.load(std::memory_order_relaxed)) return false;
    if (!poRun->m_fnProgress(fDone))
    {
        poRun->m_bStopped.store(true, std::memory_order_relaxed);
        return false;
    }
    return true;
}

bool bRunStopped(const tdRunContext* poRun)
{
    return poRun && poRun->m_bStopped.load(std::memory_order_relaxed);
}

int iRunThreads(const tdRunContext* poRun)
{
    const int iThreads = poRun ? poRun->m_iThreads : 0;
    return iThreads > 0 ? iThreads : iDefaultWorkerCount();
}

int iRunRowWorkers(const tdRunContext* poRun, int iRows, bool bSpread)
{
    if (!bSpread) return 1;
    const int iThreads = iRunThreads(poRun);
    return iRows < iThreads ? (iRows > 1 ? iRows : 1) : iThreads;
}
