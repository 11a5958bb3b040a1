#pragma once

#include <atomic>
#include <functional>
#include <mutex>

// What a long conversion needs from its caller besides the picture and the
// settings: somewhere to report progress, a way to be stopped, and how many
// threads its searches may use. Every core function that takes one accepts null:
// no reports, never stopped, one thread per core.
//
// A stopped run returns early with incomplete results (pictures, bytes, error
// triples): the caller discards them, and discards the pending output files.
struct tdRunContext
{
    // Called between rows with the fraction (0 to 1) of the current step done:
    // the palette search, then the encoding. Returns false to stop the run. It may
    // be called from any worker thread of the run, but never by two at once and
    // never again once it has returned false; rows done in parallel may report
    // their fractions slightly out of order.
    std::function<bool(double fDone)> m_fnProgress;
    // Threads for work whose result does not depend on its order; 0 means one per
    // core. No result depends on it.
    int m_iThreads = 0;
    // Set once the callback has asked to stop; every later check fails at once.
    mutable std::atomic<bool> m_bStopped{false};
    // Serialises the calls of m_fnProgress.
    mutable std::mutex m_oReportLock;
};

// False when the run is to stop: its callback returns false now or did before.
// True for a null context.
bool bKeepRunning(const tdRunContext* poRun, double fDone);

// True once the run was stopped (its results are incomplete). False for null.
bool bRunStopped(const tdRunContext* poRun);

// The threads a search of the run may use: at least 1.
int iRunThreads(const tdRunContext* poRun);

// The workers for a pass over iRows rows: iRunThreads, at most one a row, and 1
// when bSpread is false (work too cheap to repay handing rows between threads).
int iRunRowWorkers(const tdRunContext* poRun, int iRows, bool bSpread);
