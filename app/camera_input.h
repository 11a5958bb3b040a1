#pragma once

#include "qev/base/image.h"

#include <QObject>

#include <functional>

class QCamera;
class QImage;
class QImageCapture;
class QMediaCaptureSession;
class QPushButton;
class QVideoSink;
class QWidget;
class StatusLine;

// Pictures from the default camera. The first press of the camera button asks
// for the permission and starts the camera; in live mode each frame (mirrored
// back, as a mirror shows the user) replaces the source picture, the next one
// asked for once the window has painted; a second press takes the last frame as
// the picture and leaves live mode.
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the camera's own functions change it.
class CameraInput : public QObject
{
    Q_OBJECT
public:
    // poWindow is the permission request's parent; failures are told in poStatusLine.
    CameraInput(QWidget* poWindow, StatusLine* poStatusLine);
    ~CameraInput() override;

    QWidget* m_poWindow;
    StatusLine* m_poStatusLine;
    QPushButton* m_poButton; // its caption says what a press does
    // Whether a save or a read runs (nothing else may start then).
    std::function<bool()> m_fnBusy;
    bool m_bLive;             // frames replace the source picture one after another
    bool m_bCaptureRequested; // a frame was asked for and has not arrived
    // Created when the camera is first started.
    QMediaCaptureSession* m_poCaptureSession;
    QVideoSink* m_poVideoSink;
    QCamera* m_poCamera;
    QImageCapture* m_poImageCapture;

    // In live mode, asks for the next frame unless one is on its way.
    void vRequestFrame();

public slots:
    void CaptureFromCamera();
    void imageCaptured(int iId, const QImage& oFrame);

signals:
    // A frame arrived: poImage (the receiver owns it) is the new source picture,
    // null when the frame was of no use or live mode has ended.
    void vFrame(Image* poImage);
    // Live mode began or ended: the controls it disables change.
    void vLiveChanged();
    // The camera became ready for the next frame while live: the window repaints,
    // which asks for it.
    void vReady();
};
