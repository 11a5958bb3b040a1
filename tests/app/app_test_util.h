#pragma once

#include "qev/base/image.h"

#include <QImage>
#include <QStringList>

#include <QString>
#include <memory>

class Window;

// Points every QSettings() of the process at a store under sFolder (organisation
// "brenmoor", application "QEVui"), so that the tests never see or change the
// user's settings, and sets the "C" numeric locale as the program does.
void vUseTemporarySettingsStore(const QString& sFolder);

// Removes every key of the temporary store.
void vClearSettingsStore();

// A smooth RGB test picture with distinct corners (red top left, green top right,
// blue bottom left, white bottom right), made with Qt alone.
QImage oMakeTestPicture(int iWidth, int iHeight);

// Writes oMakeTestPicture as a PNG file with Qt's own PNG writer (independent of
// the program's PNG code); returns the path.
QString sWriteTestPNG(const QString& sFolder, const QString& sName, int iWidth, int iHeight);

// Waits until the window has painted once more, so that its change detection has
// seen every settings change made so far.
void vWaitForPaint(Window* poWindow);

// Replaces *ppoWindow by a new window, shows it and waits for its first paint.
// Returns it, or null when it was never exposed.
Window* poShowNewWindow(std::unique_ptr<Window>* ppoWindow);

// The same, with the pictures loaded (converted once). Null when loading failed.
Window* poShowNewWindowWith(std::unique_ptr<Window>* ppoWindow, const QString& sPicture);
