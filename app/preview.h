#pragma once

#include "preview_job.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class QProgressBar;
class QThread;
class QTimer;
class QWidget;

// The live preview's conversion: the wait after a change, the worker thread that
// converts copies of the settings and the shared source picture beside the event
// loop, its progress bar over the display, and cancelling. One conversion runs
// at a time; a newer request cancels it (live camera frames let it end) and asks
// for a new start once it has stopped, so only the newest result is handed on.
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the preview's own functions change it.
class Preview : public QObject
{
    Q_OBJECT
public:
    // The wait between the last settings change and the conversion, in ms.
    static constexpr int g_iDelay = 250;

    // The progress bar is a child of poArea, centred in it.
    Preview(QWidget* poArea, QObject* poParent);
    // A conversion whose rows are slow (brute-force YJK searches) may not notice
    // the cancel for seconds: after a short wait it is left to end on its own.
    ~Preview() override;

    QTimer* m_poTimer; // single shot: the wait after a change
    bool m_bPending;   // a conversion waits for the timer or runs: the hourglass is shown
    // The running conversion (both null when idle).
    std::shared_ptr<tdPreviewJob> m_poJob;
    QThread* m_poWorker;
    bool m_bRestartPending;     // vStartRequested when the running conversion has stopped
    int m_iJobCount;            // conversions started, naming the newest
    int m_iConversionCount;     // results handed on (and previews of no picture) so far
    QElapsedTimer m_oJobClock;  // since the running conversion started
    QTimer* m_poProgressTimer;  // ticks while a conversion runs
    QProgressBar* m_poProgress; // over the display once a conversion takes long

    bool bRunning() const { return m_poJob != nullptr; }
    // Starts the wait after a change; vStartRequested at its end.
    void vSchedule();
    // Starts converting a copy of the settings and the shared source. Only while idle.
    void vStart(const tdSettings& oSettings, const std::shared_ptr<const Image>& poSource);
    // A newer request while a conversion runs: it is cancelled (unless bLetEnd:
    // its result is still handed on), then vStartRequested.
    void vSupersede(bool bLetEnd);
    // Cancels the running and any waiting conversion; the display keeps its picture.
    void vCancel();
    // Cancels the running conversion and waits for it to end, so that the core
    // lock is free; true when one ran (the caller converts again if it must).
    bool bStop();
    // Processes events until no conversion runs or waits, or the time is up; true when idle.
    bool bWaitUntilIdle(int iTimeoutMs);
    // Centres the progress bar in the display; shows it once a conversion has
    // taken half a second.
    void vShowProgress();

signals:
    // The wait ended, or a superseded conversion stopped: convert the newest settings.
    void vStartRequested();
    // A conversion ended without a cancel: poJob holds its result (the receiver may
    // take poConverted).
    void vFinished(tdPreviewJob* poJob);
    // The display's look changed: the progress bar came or went, or the wait ended.
    void vChanged();

private:
    void vJobFinished();
};
