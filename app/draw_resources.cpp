// Build-time tool: draws the program's pictures into a folder, from which they are
// compiled into the program as resources.
//
//   qevui_draw_resources <output folder> <title> [font file]
//
// Writes DefaultImage.png, HourGlass.png and QEVui.png (256 x 256 icon). Runs on
// the offscreen platform, so it needs no display. Exit code 0 on success.

#include "resource_art.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

int main(int iArgc, char** ppszArgv)
{
    if (iArgc < 3)
    {
        fprintf(stderr, "usage: qevui_draw_resources <output folder> <title> [font file]\n");
        return 2;
    }
    QGuiApplication oApplication(iArgc, ppszArgv);
    const QString sFolder = QString::fromLocal8Bit(ppszArgv[1]);
    const QString sTitle = QString::fromUtf8(ppszArgv[2]);
    QString sFamily = QStringLiteral("Sans");
    if (iArgc > 3)
    {
        const int iFont = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(ppszArgv[3]));
        const QStringList asFamilies = QFontDatabase::applicationFontFamilies(iFont);
        if (!asFamilies.isEmpty()) sFamily = asFamilies.first();
    }
    const struct
    {
        const char* pszName;
        QImage oImage;
    } aoPictures[] = {
        {"DefaultImage.png", oDrawDefaultImage(sFamily, sTitle)},
        {"HourGlass.png", oDrawHourGlassImage()},
        {"QEVui.png", oDrawApplicationIcon(256)},
    };
    for (const auto& oPicture : aoPictures)
    {
        const QString sName = sFolder + QLatin1Char('/') + QLatin1String(oPicture.pszName);
        if (!oPicture.oImage.save(sName, "PNG"))
        {
            fprintf(stderr, "qevui_draw_resources: cannot write %s\n", qPrintable(sName));
            return 1;
        }
    }
    return 0;
}
