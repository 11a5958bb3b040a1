#pragma once

#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

// The core keeps some conversion state per process (the KRU compressor's tables):
// every call into it, on any thread, holds this lock.
std::mutex& oCoreLock();

// Conversions and reads still running, also those of windows already closed: the
// program ends without waiting for them (main).
int iRunningConversions();

// Counts the work of its thread as running for as long as it lives.
struct tdRunningWork
{
    tdRunningWork();
    ~tdRunningWork();
    tdRunningWork(const tdRunningWork&) = delete;
    tdRunningWork& operator=(const tdRunningWork&) = delete;
};

// One preview conversion, shared by the window and the worker thread that runs
// it. The worker reads only the copies taken at the start and writes only the
// results; the window reads the results after the thread has finished.
struct tdPreviewJob
{
    tdSettings oSettings;                  // byte copy of the window's settings at the start
    std::shared_ptr<const Image> poSource; // the source picture, shared: nobody changes it
    std::atomic<bool> bCancel{false};
    std::atomic<int> iPerMille{0}; // progress reported by the core, 0..1000
    Image* poConverted = nullptr;  // the result; the job owns it until the window takes it
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    std::string sError; // the core's last message during the conversion

    ~tdPreviewJob() { delete poConverted; }
};

// Runs the preview conversion of a job (the KRU writer without a file, the PNG
// writer for conversion type PNG) under the core lock; any thread.
void vRunPreviewJob(tdPreviewJob* poJob);
