#include "about_box.h"

#include "build_info.h"

#include <QMessageBox>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#ifndef QEV_APP_VERSION
#error "QEV_APP_VERSION must name the program's version"
#endif

// Release builds leave the assertions out; the About box says which this is.
#ifdef NDEBUG
#define QEV_BUILD_KIND "release"
#else
#define QEV_BUILD_KIND "debug (assertions on)"
#endif

QString sAboutText()
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

void vShowAboutBox()
{
    QMessageBox* poBox = new QMessageBox();
    poBox->setObjectName(QStringLiteral("AboutBox"));
    poBox->setWindowTitle(QStringLiteral("About QEVui..."));
    // A no-break space keeps the hash on the line of its caption.
    poBox->setText(sAboutText().replace(QStringLiteral("Hash: "), QStringLiteral("Hash:") + QChar(0x00A0)));
    QObject::connect(poBox, &QMessageBox::finished, poBox, &QObject::deleteLater);
    poBox->show();
}
