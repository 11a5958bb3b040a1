#include "camera_input.h"

#include "camera_permission.h"
#include "status_line.h"
#include "view.h"

#include <QCamera>
#include <QImageCapture>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPushButton>
#include <QVideoSink>

CameraInput::CameraInput(QWidget* poWindow, StatusLine* poStatusLine)
    : QObject(poWindow), m_poWindow(poWindow), m_poStatusLine(poStatusLine), m_poButton(nullptr),
      m_fnBusy([]() { return false; }), m_bLive(false), m_bCaptureRequested(false),
      m_poCaptureSession(nullptr), m_poVideoSink(nullptr), m_poCamera(nullptr), m_poImageCapture(nullptr)
{
}

CameraInput::~CameraInput()
{
    delete m_poImageCapture;
    delete m_poCamera;
    delete m_poVideoSink;
    delete m_poCaptureSession;
}

void CameraInput::vRequestFrame()
{
    if (m_bLive && m_poImageCapture && !m_bCaptureRequested && m_poImageCapture->isReadyForCapture())
        m_bCaptureRequested = m_poImageCapture->capture() >= 0;
}

void CameraInput::CaptureFromCamera()
{
    if (m_fnBusy()) return;
    if (!m_poImageCapture)
    {
        switch (eCheckCameraPermission())
        {
        case CameraPermission_Undetermined:
            vRequestCameraPermission(m_poWindow, [this]() { CaptureFromCamera(); });
            return;
        case CameraPermission_Denied:
            qWarning("Camera permission is not granted!");
            m_poStatusLine->vShow(QStringLiteral("The camera may not be used: permission is not granted."),
                                  true);
            return;
        case CameraPermission_Granted:
        {
            const QCameraDevice oDevice = QMediaDevices::defaultVideoInput();
            if (oDevice.isNull())
            {
                qWarning("No camera found.");
                m_poStatusLine->vShow(QStringLiteral("No camera found."), true);
                return;
            }
            m_poCaptureSession = new QMediaCaptureSession();
            m_poVideoSink = new QVideoSink();
            m_poCamera = new QCamera(oDevice);
            m_poImageCapture = new QImageCapture();
            m_poCaptureSession->setCamera(m_poCamera);
            m_poCaptureSession->setImageCapture(m_poImageCapture);
            m_poCaptureSession->setVideoSink(m_poVideoSink);
            connect(m_poImageCapture, &QImageCapture::imageCaptured, this, &CameraInput::imageCaptured);
            // A capture asked for before the camera was ready is asked for again.
            connect(m_poImageCapture, &QImageCapture::readyForCaptureChanged, this,
                    [this](bool bReady)
                    {
                        if (bReady && m_bLive) emit vReady();
                    });
            m_poCamera->start();
            break;
        }
        }
    }
    if (!m_bLive)
    {
        m_bCaptureRequested = m_poImageCapture->isReadyForCapture() && m_poImageCapture->capture() >= 0;
        m_bLive = true;
        if (m_poButton) m_poButton->setText(QStringLiteral("Take snapshot!"));
    }
    else
    {
        m_bLive = false;
        if (m_poButton) m_poButton->setText(QStringLiteral("Capture from camera..."));
    }
    emit vLiveChanged();
}

void CameraInput::imageCaptured(int, const QImage& oFrame)
{
    m_bCaptureRequested = false;
    Image* poImage = nullptr;
    if (m_bLive && oFrame.width() >= 1 && oFrame.height() >= 1)
    {
        const QImage oMirrored = oFrame.mirrored(true, false);
        poImage = poImageFromQImage(&oMirrored);
    }
    emit vFrame(poImage);
}
