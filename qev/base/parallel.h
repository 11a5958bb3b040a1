#pragma once

#include <functional>

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
