#include "preview.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QWidget>

Preview::Preview(QWidget* poArea, QObject* poParent)
    : QObject(poParent), m_poTimer(new QTimer(this)), m_bPending(false), m_poWorker(nullptr),
      m_bRestartPending(false), m_iJobCount(0), m_iConversionCount(0), m_poProgressTimer(new QTimer(this)),
      m_poProgress(new QProgressBar(poArea))
{
    m_poTimer->setSingleShot(true);
    connect(m_poTimer, &QTimer::timeout, this, &Preview::vStartRequested);
    m_poProgressTimer->setInterval(100);
    connect(m_poProgressTimer, &QTimer::timeout, this, &Preview::vShowProgress);
    // Shown over the display once a conversion has taken half a second.
    m_poProgress->setObjectName(QStringLiteral("Progress"));
    m_poProgress->setRange(0, 1000);
    m_poProgress->setFormat(QStringLiteral("Converting... %p%  (Esc cancels)"));
    m_poProgress->setAlignment(Qt::AlignCenter);
    m_poProgress->resize(360, 28);
    m_poProgress->hide();
}

Preview::~Preview()
{
    if (m_poJob)
    {
        m_poJob->bCancel = true;
        if (!m_poWorker->wait(QDeadlineTimer(800)))
        {
            disconnect(m_poWorker, nullptr, this, nullptr);
            connect(m_poWorker, &QThread::finished, m_poWorker, &QObject::deleteLater);
            m_poWorker = nullptr;
            m_poJob.reset();
        }
    }
    // No signal of a half-destroyed preview reaches its receivers.
    blockSignals(true);
    bStop();
}

void Preview::vSchedule()
{
    m_poTimer->stop();
    m_bPending = true;
    m_poTimer->start(g_iDelay);
}

void Preview::vStart(const tdSettings& oSettings, const std::shared_ptr<const Image>& poSource)
{
    m_poTimer->stop();
    std::shared_ptr<tdPreviewJob> poJob = std::make_shared<tdPreviewJob>();
    memcpy(&poJob->oSettings, &oSettings, sizeof(tdSettings));
    poJob->poSource = poSource;
    m_poJob = poJob;
    m_bPending = true;
    m_poWorker = QThread::create([poJob]() { vRunPreviewJob(poJob.get()); });
    // A worker stopped by bStop is gone before its queued signal arrives.
    const int iJob = ++m_iJobCount;
    connect(m_poWorker, &QThread::finished, this,
            [this, iJob]()
            {
                if (iJob == m_iJobCount && m_poWorker) vJobFinished();
            });
    m_oJobClock.start();
    m_poProgressTimer->start();
    m_poWorker->start();
    emit vChanged();
}

void Preview::vSupersede(bool bLetEnd)
{
    m_poTimer->stop();
    if (!m_poJob) return;
    if (!bLetEnd) m_poJob->bCancel = true;
    m_bRestartPending = true;
    m_bPending = true;
}

void Preview::vJobFinished()
{
    if (!m_poWorker) return;
    m_poWorker->wait();
    delete m_poWorker;
    m_poWorker = nullptr;
    const std::shared_ptr<tdPreviewJob> poJob = std::move(m_poJob);
    m_poProgressTimer->stop();
    m_poProgress->hide();
    m_bPending = false;
    if (!poJob->bCancel)
    {
        m_iConversionCount++;
        emit vFinished(poJob.get());
    }
    if (m_bRestartPending)
    {
        m_bRestartPending = false;
        emit vStartRequested();
    }
    emit vChanged();
}

void Preview::vShowProgress()
{
    QWidget* poArea = m_poProgress->parentWidget();
    m_poProgress->move((poArea->width() - m_poProgress->width()) / 2,
                       (poArea->height() - m_poProgress->height()) / 2);
    if (!m_poJob || m_oJobClock.elapsed() < 500) return;
    m_poProgress->setValue(m_poJob->iPerMille.load());
    if (!m_poProgress->isVisible())
    {
        m_poProgress->show();
        emit vChanged(); // the progress bar takes the hourglass's place
    }
}

void Preview::vCancel()
{
    m_poTimer->stop();
    m_bRestartPending = false;
    if (m_poJob)
        m_poJob->bCancel = true;
    else
        m_bPending = false;
}

bool Preview::bStop()
{
    if (!m_poJob) return false;
    m_poJob->bCancel = true;
    m_bRestartPending = false;
    m_poWorker->wait();
    vJobFinished();
    return true;
}

bool Preview::bWaitUntilIdle(int iTimeoutMs)
{
    QElapsedTimer oClock;
    oClock.start();
    // Sleeps between rounds, leaving the processor to the conversion.
    while ((m_poJob || m_poTimer->isActive()) && oClock.elapsed() < iTimeoutMs)
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (m_poJob || m_poTimer->isActive()) QThread::msleep(1);
    }
    return !m_poJob && !m_poTimer->isActive();
}
