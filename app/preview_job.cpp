// One preview conversion beside the event loop, and the process-wide state every
// conversion shares: the core lock and the count of work still running.

#include "preview_job.h"

#include "qev/base/report.h"
#include "qev/base/run_context.h"
#include "qev/files/format_kru.h"
#include "qev/files/png_io.h"

std::mutex& oCoreLock()
{
    static std::mutex s_oLock;
    return s_oLock;
}

namespace
{
std::atomic<int> g_iRunningConversions{0};
} // namespace

int iRunningConversions()
{
    return g_iRunningConversions.load();
}

tdRunningWork::tdRunningWork()
{
    g_iRunningConversions++;
}

tdRunningWork::~tdRunningWork()
{
    g_iRunningConversions--;
}

void vRunPreviewJob(tdPreviewJob* poJob)
{
    // Counted until the lock is released too: the counter, made first, goes last.
    const tdRunningWork oCounted;
    std::lock_guard<std::mutex> oLock(oCoreLock());
    if (poJob->bCancel) return;
    // The core asks between rows whether to go on, so a cancel stops it soon.
    vClearLastError();
    tdRunContext oRun;
    oRun.m_fnProgress = [poJob](double fDone)
    {
        poJob->iPerMille.store(static_cast<int>(fDone * 1000.0));
        return !poJob->bCancel.load();
    };
    if (poJob->oSettings.ConversionType != ConversionType_PNG)
        poJob->oError = oWriteImageToKRUFile(poJob->poSource.get(), &poJob->oSettings, nullptr,
                                             &poJob->poConverted, nullptr, CompressionType_None, &oRun);
    else
        oWriteImageToPNGFile(poJob->poSource.get(), &poJob->oSettings, nullptr, &poJob->poConverted);
    poJob->sError = pszLastError();
}
