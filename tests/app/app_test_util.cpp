#include "app_test_util.h"

#include "window.h"

#include <QCoreApplication>
#include <QPainter>
#include <QSettings>
#include <QTest>

#include <clocale>

void vUseTemporarySettingsStore(const QString& sFolder)
{
    setlocale(LC_NUMERIC, "C");
    QCoreApplication::setOrganizationName(QStringLiteral("brenmoor"));
    QCoreApplication::setApplicationName(QStringLiteral("QEVui"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, sFolder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, sFolder);
}

void vClearSettingsStore()
{
    QSettings oStore;
    oStore.clear();
    oStore.sync();
}

QImage oMakeTestPicture(int iWidth, int iHeight)
{
    QImage oImage(iWidth, iHeight, QImage::Format_RGB888);
    for (int iY = 0; iY < iHeight; iY++)
    {
        for (int iX = 0; iX < iWidth; iX++)
        {
            const double fX = iWidth > 1 ? static_cast<double>(iX) / (iWidth - 1) : 0.0;
            const double fY = iHeight > 1 ? static_cast<double>(iY) / (iHeight - 1) : 0.0;
            // Bilinear blend of the four corner colours.
            const double fRed = (1 - fX) * (1 - fY) * 255 + fX * fY * 255;
            const double fGreen = fX * (1 - fY) * 255 + fX * fY * 255;
            const double fBlue = (1 - fX) * fY * 255 + fX * fY * 255;
            oImage.setPixel(iX, iY,
                            qRgb(static_cast<int>(fRed + 0.5), static_cast<int>(fGreen + 0.5),
                                 static_cast<int>(fBlue + 0.5)));
        }
    }
    return oImage;
}

QString sWriteTestPNG(const QString& sFolder, const QString& sName, int iWidth, int iHeight)
{
    const QString sPath = sFolder + QLatin1Char('/') + sName;
    if (!oMakeTestPicture(iWidth, iHeight).save(sPath, "PNG")) return QString();
    return sPath;
}

void vWaitForPaint(Window* poWindow)
{
    poWindow->repaint();
    QCoreApplication::processEvents();
}

Window* poShowNewWindow(std::unique_ptr<Window>* ppoWindow)
{
    ppoWindow->reset(new Window());
    (*ppoWindow)->show();
    if (!QTest::qWaitForWindowExposed(ppoWindow->get())) return nullptr;
    vWaitForPaint(ppoWindow->get());
    return ppoWindow->get();
}

Window* poShowNewWindowWith(std::unique_ptr<Window>* ppoWindow, const QString& sPicture)
{
    Window* poWindow = poShowNewWindow(ppoWindow);
    if (!poWindow || !poWindow->bLoadImageFiles({sPicture})) return nullptr;
    vWaitForPaint(poWindow);
    return poWindow;
}
