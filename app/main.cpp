// QEVui: the desktop program. Sets up the application, shows the window and runs
// the event loop; files named on the command line (a desktop's "open with", or
// pictures dropped on the launcher) are loaded like dropped files.

#include "file_actions.h"
#include "preview_job.h"
#include "window.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>
#include <QStyleFactory>

#include <clocale>
#include <cstdio>
#include <cstdlib>

int main(int iArgc, char** ppszArgv)
{
    QApplication oApplication(iArgc, ppszArgv);
    // Every "%.3f" of the window and of the command line uses a decimal point.
    setlocale(LC_NUMERIC, "C");
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setOrganizationName(QStringLiteral("brenmoor"));
    QApplication::setApplicationName(QStringLiteral("QEVui"));
    vInitResources();
    const int iFont = QFontDatabase::addApplicationFont(QStringLiteral(":/Quicksand-Light.ttf"));
    const QStringList asFamilies = QFontDatabase::applicationFontFamilies(iFont);
    if (!asFamilies.isEmpty()) QApplication::setFont(QFont(asFamilies.first(), 17));

    int iExitCode = 0;
    {
        Window oWindow;
        oWindow.show();
        QStringList asFiles = QApplication::arguments();
        asFiles.removeFirst();
        if (!asFiles.isEmpty()) oWindow.m_poFileActions->bLoadImageFiles(asFiles);
        iExitCode = QApplication::exec();
    }
    // A conversion too slow to notice its cancel is not waited for: the settings
    // are saved, and the core's tables must not be torn down under it.
    if (iRunningConversions() > 0)
    {
        fflush(nullptr);
        std::_Exit(iExitCode);
    }
    return iExitCode;
}
