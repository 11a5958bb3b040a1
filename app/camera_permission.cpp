#include "camera_permission.h"

#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
#include <QCoreApplication>
#include <QPermissions>
#endif

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)

tdCameraPermission eCheckCameraPermission()
{
    switch (qApp->checkPermission(QCameraPermission{}))
    {
    case Qt::PermissionStatus::Undetermined:
        return CameraPermission_Undetermined;
    case Qt::PermissionStatus::Denied:
        return CameraPermission_Denied;
    case Qt::PermissionStatus::Granted:
        break;
    }
    return CameraPermission_Granted;
}

void vRequestCameraPermission(QObject* poContext, const std::function<void()>& oAnswered)
{
    qApp->requestPermission(QCameraPermission{}, poContext, [oAnswered](const QPermission&) { oAnswered(); });
}

#else

tdCameraPermission eCheckCameraPermission()
{
    return CameraPermission_Granted;
}

void vRequestCameraPermission(QObject*, const std::function<void()>& oAnswered)
{
    oAnswered();
}

#endif
