// What the window says: the status line, the command line equivalent and the About box.

#include "window_internal.h"

#include "build_info.h"
#include "camera_permission.h"
#include "settings_store.h"

#include "input/picture_reader.h"
#include "qev/base/report.h"
#include "qev/base/run_context.h"
#include "qev/base/settings_string.h"
#include "qev/color/palette.h"
#include "qev/files/format_kru.h"
#include "qev/files/output_files.h"
#include "qev/files/palette_file.h"
#include "qev/files/png_io.h"
#include "qev/files/readerwriter.h"
#include "qev/msx/yjk.h"
#include "retro/retro_formats.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <png.h>
#include <string>
#include <zlib.h>

// Release builds leave the assertions out; the About box says which this is.
#ifdef NDEBUG
#define QEV_BUILD_KIND "release"
#else
#define QEV_BUILD_KIND "debug (assertions on)"
#endif

void Window::vShowStatus(const QString& sText, bool bFailure)
{
    QPalette oPalette = m_poStatusLine->palette();
    oPalette.setColor(QPalette::Window, bFailure ? QColor(150, 20, 20) : QColor(48, 48, 48));
    oPalette.setColor(QPalette::WindowText, Qt::white);
    m_poStatusLine->setPalette(oPalette);
    m_poStatusLine->setText(sText);
    m_poStatusLine->setToolTip(sText);
    m_poStatusLine->setVisible(!sText.isEmpty());
    m_poStatusLine->raise();
}

void Window::vRefuseValue(const QString& sField, const QString& sText, const QString& sAllowed)
{
    vShowStatus(QStringLiteral("%1: \"%2\" refused (allowed: %3)").arg(sField, sText.trimmed(), sAllowed),
                true);
}

QString Window::sShellWord(const QString& sWord)
{
    static const QRegularExpression s_oPlain(QStringLiteral("^[A-Za-z0-9_./+,:=@%-]+$"));
    if (s_oPlain.match(sWord).hasMatch()) return sWord;
    return QLatin1Char('\'') + QString(sWord).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

void Window::vUpdateCommandLine()
{
    char acCommandLine[16384];
    vWriteSettingsToString(&m_oSettings, acCommandLine);
    QString sLine = QString::fromUtf8(acCommandLine);
    // The custom palette is no option of its own: it comes from a palette file,
    // named when the palette is that of the file last loaded or saved.
    if (m_oSettings.PaletteType == PaletteType_Custom && bSettingsUsePalette(&m_oSettings))
    {
        bool bSame = !m_sPaletteFile.isEmpty();
        for (int i = 0; i < 16 && bSame; i++)
        {
            const Color& oA = m_aoPaletteFileColors[i];
            const Color& oB = m_oSettings.CustomPalette[i];
            bSame = oA.r == oB.r && oA.g == oB.g && oA.b == oB.b;
        }
        const QString sFile = bSame ? sShellWord(m_sPaletteFile) : QStringLiteral("<palette_file>");
        const QString sOption = QStringLiteral(" --palette=") + sFile;
        const int iOutput = sLine.indexOf(QStringLiteral(" -of"));
        if (iOutput >= 0)
            sLine.insert(iOutput, sOption);
        else
            sLine += sOption;
    }
    // The opened picture and the name of the last save of it (else the name the
    // save dialog proposes), quoted for the shell: a bare < or > would redirect.
    if (!m_sSourcePath.isEmpty())
    {
        sLine.replace(QStringLiteral("<input_file>"), sShellWord(m_sSourcePath));
        const QString sOutput =
            m_sSavedSource == m_sSourcePath && !m_sSavedName.isEmpty() ? m_sSavedName : m_sImagePath;
        sLine.replace(QStringLiteral("-of<output_file>"), sShellWord(QStringLiteral("-of") + sOutput));
    }
    m_poCommandLine->setText(sLine);
}

QString Window::oAboutText()
{
    return QStringLiteral(
               "Version: " QEV_APP_VERSION "\nHash: %1\nDate: %2\nBuild: %3\n\nQt %4, libpng %5, "
               "libjpeg %6, zlib %7\n\nLicences of the libraries: Qt, GNU LGPL version 3; libpng, the "
               "libpng licence; libjpeg, the IJG licence; zlib, the zlib licence; the font "
               "Quicksand, SIL Open Font License 1.1.")
        .arg(QLatin1String(g_pszBuildRevision), QLatin1String(g_pszBuildDate), QStringLiteral(QEV_BUILD_KIND),
             QLatin1String(qVersion()), QLatin1String(PNG_LIBPNG_VER_STRING),
             QString::number(JPEG_LIB_VERSION), QLatin1String(ZLIB_VERSION));
}

void Window::About()
{
    QMessageBox* poBox = new QMessageBox();
    poBox->setObjectName(QStringLiteral("AboutBox"));
    poBox->setWindowTitle(QStringLiteral("About QEVui..."));
    // A no-break space keeps the hash on the line of its caption.
    poBox->setText(oAboutText().replace(QStringLiteral("Hash: "), QStringLiteral("Hash:") + QChar(0x00A0)));
    connect(poBox, &QMessageBox::finished, poBox, &QObject::deleteLater);
    poBox->show();
}
