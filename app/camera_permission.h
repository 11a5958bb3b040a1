#pragma once

#include <functional>

class QObject;

// The user's permission to use the camera. Qt 6.5 and later ask the platform
// (QCameraPermission); older Qt has no permission API, and there the permission
// counts as granted: the platform asks, if at all, when the camera starts.
enum tdCameraPermission
{
    CameraPermission_Undetermined = 0, // not asked yet: request it
    CameraPermission_Denied = 1,
    CameraPermission_Granted = 2,
};

tdCameraPermission eCheckCameraPermission();

// Asks the user; calls oAnswered on the GUI thread once the answer is known
// (at once where there is no permission API). poContext ends the request when it
// is destroyed first.
void vRequestCameraPermission(QObject* poContext, const std::function<void()>& oAnswered);
