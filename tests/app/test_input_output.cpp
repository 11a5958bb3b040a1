// Pictures in and out of the window: drops of real files, the clipboard, camera
// frames, the palette editor, the save dialog's filters, the files written, and
// the About box.

#include "app_test_util.h"
#include "window.h"

#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/files/format_kru.h"
#include "qev/files/readerwriter.h"

#include <QApplication>
#include <QCameraDevice>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMediaDevices>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

// Sends a drop of the given files to a widget; returns whether it was accepted.
bool bDropFiles(QWidget* poTarget, const QStringList& asPaths)
{
    QMimeData oData;
    QList<QUrl> aoUrls;
    for (const QString& sPath : asPaths)
        aoUrls << QUrl::fromLocalFile(sPath);
    oData.setUrls(aoUrls);
    QDragEnterEvent oEnter(QPoint(100, 100), Qt::CopyAction, &oData, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(poTarget, &oEnter);
    QDropEvent oDrop(QPointF(100, 100), Qt::CopyAction, &oData, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(poTarget, &oDrop);
    return oDrop.isAccepted();
}

QByteArray oReadFile(const QString& sPath)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly)) return QByteArray();
    return oFile.readAll();
}

// The entry of a palette nearest to a colour by plain RGB distance, the lowest
// index winning a tie.
int iNearestByHand(const Color* poPalette, QRgb uiColor)
{
    int iBest = 0;
    long lBest = -1;
    for (int i = 0; i < 16; i++)
    {
        const long lR = poPalette[i].r - qRed(uiColor);
        const long lG = poPalette[i].g - qGreen(uiColor);
        const long lB = poPalette[i].b - qBlue(uiColor);
        const long lDistance = lR * lR + lG * lG + lB * lB;
        if (lBest < 0 || lDistance < lBest)
        {
            lBest = lDistance;
            iBest = i;
        }
    }
    return iBest;
}

bool bSameRGB(const Color* poA, const Color* poB)
{
    for (int i = 0; i < 16; i++)
        if (poA[i].r != poB[i].r || poA[i].g != poB[i].g || poA[i].b != poB[i].b) return false;
    return true;
}

} // namespace

class TestInputOutput : public QObject
{
    Q_OBJECT
    QTemporaryDir m_oStoreFolder;
    QTemporaryDir m_oFiles;
    QString m_sPicture;
    std::unique_ptr<Window> m_poWindow;

    Window* poShowWindow() { return poShowNewWindow(&m_poWindow); }

    Window* poWindowWithPicture(const QString& sPicture)
    {
        return poShowNewWindowWith(&m_poWindow, sPicture);
    }

    void vSettle(Window* poWindow)
    {
        vWaitForPaint(poWindow);
        QTRY_VERIFY_WITH_TIMEOUT(!poWindow->m_bConversionPending, 5000);
    }

private slots:
    void initTestCase()
    {
        vUseTemporarySettingsStore(m_oStoreFolder.path());
        m_sPicture = sWriteTestPNG(m_oFiles.path(), QStringLiteral("gradient.png"), 256, 212);
        QVERIFY(!m_sPicture.isEmpty());
    }

    void init() { vClearSettingsStore(); }

    void cleanup()
    {
        m_poWindow.reset();
        QApplication::clipboard()->clear();
    }

    // ---- Drop ----

    void dropSkipsUnreadableFilesAndTakesTheFirstPicture()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        const QString sText = m_oFiles.filePath(QStringLiteral("notes.txt"));
        const QString sFakePNG = m_oFiles.filePath(QStringLiteral("fake.png"));
        for (const QString& sPath : {sText, sFakePNG})
        {
            QFile oFile(sPath);
            QVERIFY(oFile.open(QIODevice::WriteOnly));
            oFile.write("This is no picture.\n");
        }
        QVERIFY(bDropFiles(poWindow, {sText, sFakePNG, m_sPicture}));
        QVERIFY(poWindow->m_poSourceImage);
        QCOMPARE(poWindow->m_poSourceImage->m_iWidth, 256);
        QCOMPARE(poWindow->m_poSourceImage->m_iHeight, 212);
        // Converted at once, without the 250 ms wait.
        QCOMPARE(poWindow->m_iConversionCount, 1);
        QVERIFY(poWindow->m_poDisplayedImage);
        QVERIFY(poWindow->m_poSaveImage->isEnabled());
        // Top left of the picture is red, bottom right white (QImage wrote it).
        const Color oTopLeft = poWindow->m_poSourceImage->oGetPixel(0, 0);
        const Color oBottomRight = poWindow->m_poSourceImage->oGetPixel(255, 211);
        QCOMPARE(int(oTopLeft.r), 255);
        QCOMPARE(int(oTopLeft.g), 0);
        QCOMPARE(int(oBottomRight.b), 255);
        QCOMPARE(int(oBottomRight.g), 255);
    }

    void dropOfNothingReadableChangesNothing()
    {
        Window* poWindow = poWindowWithPicture(m_sPicture);
        QVERIFY(poWindow);
        Image* poBefore = poWindow->m_poSourceImage;
        const QString sPathBefore = poWindow->m_sImagePath;
        const QString sText = m_oFiles.filePath(QStringLiteral("other.txt"));
        QFile oFile(sText);
        QVERIFY(oFile.open(QIODevice::WriteOnly));
        oFile.write("text");
        oFile.close();
        QVERIFY(!bDropFiles(poWindow, {sText, m_oFiles.filePath(QStringLiteral("missing.png"))}));
        QCOMPARE(poWindow->m_poSourceImage, poBefore);
        QCOMPARE(poWindow->m_sImagePath, sPathBefore);
    }

    void dropNamesThePictureAfterTheFile()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QDir(m_oFiles.path()).mkdir(QStringLiteral("F"));
        const QString sFolder = m_oFiles.filePath(QStringLiteral("F"));
        const QString sPath = sWriteTestPNG(sFolder, QStringLiteral("sunset.big.png"), 32, 24);
        QVERIFY(bDropFiles(poWindow, {sPath}));
        QCOMPARE(poWindow->m_sImagePath, QDir(sFolder).absolutePath() + QStringLiteral("/sunset.big"));
        QCOMPARE(QString::fromLocal8Bit(poWindow->m_oSettings.SourceBaseName), QStringLiteral("sunset"));
    }

    // A ZX Spectrum screen (6912 bytes: bitmap then attributes) goes through the
    // retro decoders: all pixels set, ink red, paper black, no bright.
    void dropDecodesRetroFormats()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QByteArray oScreen(6144, '\xFF');
        oScreen.append(QByteArray(768, '\x02'));
        const QString sPath = m_oFiles.filePath(QStringLiteral("red.scr"));
        QFile oFile(sPath);
        QVERIFY(oFile.open(QIODevice::WriteOnly));
        oFile.write(oScreen);
        oFile.close();
        QVERIFY(bDropFiles(poWindow, {sPath}));
        QVERIFY(poWindow->m_poSourceImage);
        QCOMPARE(poWindow->m_poSourceImage->m_iWidth, 256);
        QCOMPARE(poWindow->m_poSourceImage->m_iHeight, 192);
        const Color oPixel = poWindow->m_poSourceImage->oGetPixel(10, 10);
        QCOMPARE(int(oPixel.r), 0xD7);
        QCOMPARE(int(oPixel.g), 0);
        QCOMPARE(int(oPixel.b), 0);
    }

    void dropIsIgnoredWhileTheCameraIsLive()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        poWindow->m_bCameraLive = true;
        QVERIFY(!bDropFiles(poWindow, {m_sPicture}));
        QVERIFY(!poWindow->m_poSourceImage);
        poWindow->m_bCameraLive = false;
    }

    // ---- Clipboard ----

    void pasteTakesTheClipboardPicture()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QApplication::clipboard()->setText(QStringLiteral("no picture"));
        QTRY_VERIFY(!poWindow->m_bClipboardHasImage);
        QVERIFY(!poWindow->m_poPaste->isEnabled());
        poWindow->Paste();
        QVERIFY(!poWindow->m_poSourceImage);

        QApplication::clipboard()->setImage(oMakeTestPicture(64, 48));
        QTRY_VERIFY(poWindow->m_bClipboardHasImage);
        QVERIFY(poWindow->m_poPaste->isEnabled());
        QTest::keyClick(poWindow, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(poWindow->m_poSourceImage);
        QCOMPARE(poWindow->m_poSourceImage->m_iWidth, 64);
        QCOMPARE(poWindow->m_poSourceImage->m_iHeight, 48);
        QCOMPARE(poWindow->m_sImagePath, QStringLiteral("PastedImage"));
        QCOMPARE(poWindow->m_iConversionCount, 1);
        const Color oTopLeft = poWindow->m_poSourceImage->oGetPixel(0, 0);
        const Color oBottomLeft = poWindow->m_poSourceImage->oGetPixel(0, 47);
        QCOMPARE(int(oTopLeft.r), 255);
        QCOMPARE(int(oBottomLeft.b), 255);
        QCOMPARE(int(oBottomLeft.r), 0);
    }

    void copyGivesTheConvertedPictureAtItsOwnSize()
    {
        Window* poWindow = poWindowWithPicture(m_sPicture);
        QVERIFY(poWindow);
        poWindow->m_poConversionType->setCurrentIndex(ConversionType_SC); // Screen 8 by default
        vSettle(poWindow);
        QTest::keyClick(poWindow, Qt::Key_C, Qt::ControlModifier);
        const QImage oCopied = QApplication::clipboard()->image();
        QCOMPARE(oCopied.size(), QSize(256, 212));
        // The clipboard holds the converted picture, upright: compare a few pixels.
        const Image* poConverted = poWindow->m_poConvertedImage;
        for (const QPoint& oPoint : {QPoint(0, 0), QPoint(255, 0), QPoint(0, 211), QPoint(100, 150)})
        {
            const Color oColor = poConverted->oGetPixel(oPoint.x(), oPoint.y());
            QCOMPARE(oCopied.pixel(oPoint), qRgb(oColor.r, oColor.g, oColor.b));
        }
    }

    // ---- Camera ----

    void cameraFramesAreMirrored()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QImage oFrame(40, 30, QImage::Format_RGB32);
        oFrame.fill(Qt::red);
        for (int iY = 0; iY < 30; iY++)
            for (int iX = 20; iX < 40; iX++)
                oFrame.setPixel(iX, iY, qRgb(0, 0, 255));

        // Not live: the frame is not taken, the conversion runs all the same.
        poWindow->imageCaptured(1, oFrame);
        QVERIFY(!poWindow->m_poSourceImage);

        poWindow->m_bCameraLive = true;
        poWindow->imageCaptured(2, QImage());
        QVERIFY(!poWindow->m_poSourceImage);
        poWindow->imageCaptured(3, oFrame);
        QVERIFY(poWindow->m_poSourceImage);
        QCOMPARE(poWindow->m_poSourceImage->m_iWidth, 40);
        QCOMPARE(poWindow->m_sImagePath, QStringLiteral("CapturedImage"));
        const Color oLeft = poWindow->m_poSourceImage->oGetPixel(0, 0);
        const Color oRight = poWindow->m_poSourceImage->oGetPixel(39, 29);
        QCOMPARE(int(oLeft.b), 255);
        QCOMPARE(int(oLeft.r), 0);
        QCOMPARE(int(oRight.r), 255);
        QVERIFY(poWindow->m_poConvertedImage);

        // While live, the file buttons are off and setting changes convert at once.
        poWindow->vUpdateUI();
        QVERIFY(!poWindow->m_poSaveImage->isEnabled());
        QVERIFY(!poWindow->m_poLoadPalette->isEnabled());
        const int iCount = poWindow->m_iConversionCount;
        poWindow->m_poScreenMode->setCurrentIndex(ScreenMode_Screen5);
        vWaitForPaint(poWindow);
        QCOMPARE(poWindow->m_iConversionCount, iCount + 1);
        QVERIFY(!poWindow->m_bConversionPending);
        poWindow->m_bCameraLive = false;
    }

    // This machine has no camera: the button leaves no camera objects and no
    // live mode, and the next press looks again.
    void cameraButtonWithoutCamera()
    {
        if (!QMediaDevices::videoInputs().isEmpty()) QSKIP("a camera is present");
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QTest::ignoreMessage(QtWarningMsg, "No camera found.");
        QTest::mouseClick(poWindow->m_poCaptureFromCamera, Qt::LeftButton);
        QVERIFY(!poWindow->m_bCameraLive);
        QVERIFY(!poWindow->m_poImageCapture);
        QCOMPARE(poWindow->m_poCaptureFromCamera->text(), QStringLiteral("Capture from camera..."));
    }

    // ---- Palette editor ----

    void draggingAnEntryOntoAnotherSwapsThem()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        poWindow->vColorButtonClicked(5);
        const Color oThree = poWindow->m_oSettings.CustomPalette[3];
        const Color oTwelve = poWindow->m_oSettings.CustomPalette[12];
        QMimeData* poData = ColorButton::poCreateMimeData(3);
        QCOMPARE(poData->data(QStringLiteral("QEVuiColorButton")), QByteArray(1, '\x03'));
        ColorButton* poTarget = poWindow->m_apoColorButtons[12];
        QDragEnterEvent oEnter(QPoint(5, 5), Qt::MoveAction, poData, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(poTarget, &oEnter);
        QVERIFY(oEnter.isAccepted());
        QDropEvent oDrop(QPointF(5, 5), Qt::MoveAction, poData, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(poTarget, &oDrop);
        delete poData;
        QVERIFY(memcmp(&poWindow->m_oSettings.CustomPalette[3], &oTwelve, sizeof(Color)) == 0);
        QVERIFY(memcmp(&poWindow->m_oSettings.CustomPalette[12], &oThree, sizeof(Color)) == 0);
        QCOMPARE(poWindow->m_oSettings.SelectedColor, 5);
        vWaitForPaint(poWindow);
        QVERIFY(memcmp(&poWindow->m_apoColorButtons[12]->m_oColor, &oThree, sizeof(Color)) == 0);

        // Data of another kind, or an index out of range, changes nothing.
        QMimeData oText;
        oText.setText(QStringLiteral("3"));
        QDragEnterEvent oTextEnter(QPoint(5, 5), Qt::MoveAction, &oText, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(poTarget, &oTextEnter);
        QVERIFY(!oTextEnter.isAccepted());
        poWindow->vColorButtonDragAndDropped(12, 40);
        QVERIFY(memcmp(&poWindow->m_oSettings.CustomPalette[12], &oThree, sizeof(Color)) == 0);
    }

    void releasingTheMouseOnAnEntrySelectsIt()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QTest::mouseClick(poWindow->m_apoColorButtons[9], Qt::LeftButton);
        vWaitForPaint(poWindow);
        QCOMPARE(poWindow->m_oSettings.SelectedColor, 9);
        QVERIFY(poWindow->m_apoColorButtons[9]->m_bSelected);
        QVERIFY(poWindow->m_poR->isEnabled());
        // Entry 9 of the MSX1 palette is levels 7, 4, 3.
        QCOMPARE(poWindow->m_poR->value(), 7);
        QCOMPARE(poWindow->m_poG->value(), 4);
        QCOMPARE(poWindow->m_poB->value(), 3);
    }

    void slidersSetTheSelectedEntry()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        // Without a selection a slider changes no colour.
        Color aoBefore[16];
        memcpy(aoBefore, poWindow->m_oSettings.CustomPalette, sizeof(aoBefore));
        poWindow->m_poG->setValue(6);
        QVERIFY(memcmp(aoBefore, poWindow->m_oSettings.CustomPalette, sizeof(aoBefore)) == 0);

        poWindow->vColorButtonClicked(5);
        vWaitForPaint(poWindow);
        poWindow->m_poG->setValue(4);
        QCOMPARE(int(poWindow->m_oSettings.CustomPalette[5].g), 146);
        QCOMPARE(poWindow->findChild<QLabel*>(QStringLiteral("GValue"))->text(), QStringLiteral("4"));
        // The eight levels give 0, 36, 73, 109, 146, 182, 219, 255.
        const int aiBytes[8] = {0, 36, 73, 109, 146, 182, 219, 255};
        for (int iLevel = 0; iLevel < 8; iLevel++)
        {
            poWindow->m_poR->setValue(iLevel);
            QCOMPARE(int(poWindow->m_oSettings.CustomPalette[5].r), aiBytes[iLevel]);
        }
    }

    void clickingInThePicturePicksColours()
    {
        // A wide picture leaves checkerboard bands above and below it.
        const QString sWide = sWriteTestPNG(m_oFiles.path(), QStringLiteral("wide.png"), 400, 100);
        Window* poWindow = poWindowWithPicture(sWide);
        QVERIFY(poWindow);
        QVERIFY(poWindow->m_poDisplayedImage);
        const QImage& oShown = *poWindow->m_poDisplayedImage;

        // Right-click without a selection selects the nearest entry.
        const QPoint oInside(300, 384);
        QTest::mouseClick(poWindow, Qt::RightButton, Qt::NoModifier, oInside);
        QCOMPARE(poWindow->m_oSettings.SelectedColor,
                 iNearestByHand(poWindow->m_oSettings.CustomPalette, oShown.pixel(oInside)));

        // Right-click with a selection gives the entry the picked colour.
        poWindow->vColorButtonClicked(6);
        const QPoint oOther(700, 384);
        QTest::mouseClick(poWindow, Qt::RightButton, Qt::NoModifier, oOther);
        const Color oEntry = poWindow->m_oSettings.CustomPalette[6];
        QCOMPARE(qRgb(oEntry.r, oEntry.g, oEntry.b), oShown.pixel(oOther));
        QCOMPARE(int(oEntry.a), 0);
        QCOMPARE(poWindow->m_oSettings.SelectedColor, 6);
        QVERIFY(memcmp(&poWindow->m_apoColorButtons[6]->m_oColor, &oEntry, sizeof(Color)) == 0);

        // Left-click on the checkerboard: white at even x + y, black at odd.
        QTest::mouseClick(poWindow, Qt::LeftButton, Qt::NoModifier, QPoint(512, 0));
        QCOMPARE(oShown.pixel(512, 0), qRgb(255, 255, 255));
        QCOMPARE(poWindow->m_oSettings.SelectedColor, 15);
        QTest::mouseClick(poWindow, Qt::LeftButton, Qt::NoModifier, QPoint(513, 0));
        QCOMPARE(poWindow->m_oSettings.SelectedColor, 0);
        QVERIFY(poWindow->m_apoColorButtons[0]->m_bSelected);
        QVERIFY(!poWindow->m_apoColorButtons[15]->m_bSelected);

        // Outside the display nothing is picked.
        QTest::mouseClick(poWindow, Qt::LeftButton, Qt::NoModifier, QPoint(1200, 450));
        QCOMPARE(poWindow->m_oSettings.SelectedColor, 0);
    }

    void getFromImageTakesThePaletteOfTheSettings()
    {
        Window* poWindow = poWindowWithPicture(m_sPicture);
        QVERIFY(poWindow);
        poWindow->m_poConversionType->setCurrentIndex(ConversionType_SC);
        poWindow->m_poScreenMode->setCurrentIndex(ScreenMode_Screen5);
        poWindow->m_poPaletteType->setCurrentIndex(PaletteType_MSX2);
        vSettle(poWindow);
        QVERIFY(poWindow->m_poGetFromImage->isEnabled());
        QTest::mouseClick(poWindow->m_poGetFromImage, Qt::LeftButton);
        QVERIFY(bSameRGB(poWindow->m_oSettings.CustomPalette, g_aoMSX2Palette));

        // Auto: the palette generated for the picture, which the KRU writer also used.
        poWindow->m_poPaletteType->setCurrentIndex(PaletteType_Auto);
        vSettle(poWindow);
        poWindow->GetFromImage();
        Palette oExpected;
        oWriteImageToKRUFile(poWindow->m_poSourceImage, &poWindow->m_oSettings, nullptr, nullptr, &oExpected,
                             CompressionType_None);
        QVERIFY(bSameRGB(poWindow->m_oSettings.CustomPalette, oExpected.m_aoColors));
        QVERIFY(!bSameRGB(poWindow->m_oSettings.CustomPalette, g_aoMSX2Palette));
    }

    void paletteFilesRoundTrip()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        poWindow->vColorButtonClicked(2);
        poWindow->m_poR->setValue(7);
        Color aoSaved[16];
        memcpy(aoSaved, poWindow->m_oSettings.CustomPalette, sizeof(aoSaved));
        const QString sName = m_oFiles.filePath(QStringLiteral("mine"));
        poWindow->vSavePaletteTo(sName);
        const QByteArray oText = oReadFile(sName + QStringLiteral(".gpl"));
        QVERIFY(!QFile::exists(sName));
        QCOMPARE(oText.count('\n'), 16);
        QVERIFY(oText.startsWith("0 0 0\n"));
        QVERIFY(oText.contains(QByteArray::number(aoSaved[2].r) + ' ' + QByteArray::number(aoSaved[2].g)));

        poWindow->ResetToDefaults();
        QVERIFY(!bSameRGB(poWindow->m_oSettings.CustomPalette, aoSaved));
        poWindow->vLoadPaletteFrom(sName + QStringLiteral(".gpl"));
        QVERIFY(bSameRGB(poWindow->m_oSettings.CustomPalette, aoSaved));
        QCOMPARE(poWindow->m_sPalettePath, sName + QStringLiteral(".gpl"));
    }

    // ---- Saving ----

    void saveDialogFilter_data()
    {
        QTest::addColumn<int>("eType");
        QTest::addColumn<int>("eScreen");
        QTest::addColumn<bool>("bInterlaced");
        QTest::addColumn<QString>("sFilter");
        const char* const apszScreens[8] = {"2", "3", "5", "6", "7", "8", "a", "c"};
        for (int eScreen = 0; eScreen < 8; eScreen++)
        {
            const QString c = QLatin1String(apszScreens[eScreen]);
            for (bool bInterlaced : {false, true})
            {
                const QString sRow = QStringLiteral("screen %1%2").arg(c, bInterlaced ? " interlaced" : "");
                // Interlacing exists from Screen 5 on.
                const bool bTwoPages = bInterlaced && eScreen >= 2;
                QTest::newRow(qPrintable("PNG " + sRow)) << 0 << eScreen << bInterlaced << "PNG file (*.png)";
                QTest::newRow(qPrintable("QEV " + sRow)) << 1 << eScreen << bInterlaced << "QEV file (*.qev)";
                QTest::newRow(qPrintable("SR " + sRow)) << 2 << eScreen << bInterlaced
                                                        << (bTwoPages ? QStringLiteral("SI%1 file (*.si%1)")
                                                                      : QStringLiteral("SR%1 file (*.sr%1)"))
                                                               .arg(c);
                QTest::newRow(qPrintable("SC " + sRow)) << 3 << eScreen << bInterlaced
                                                        << (bTwoPages ? QStringLiteral("SK%1 file (*.sk%1)")
                                                                      : QStringLiteral("SC%1 file (*.sc%1)"))
                                                               .arg(c);
                QTest::newRow(qPrintable("SPR " + sRow)) << 4 << eScreen << bInterlaced << "SPR file (*.spr)";
                QTest::newRow(qPrintable("RAW " + sRow)) << 5 << eScreen << bInterlaced << "RAW file (*.raw)";
                QTest::newRow(qPrintable("KRU " + sRow)) << 6 << eScreen << bInterlaced << "KRU file (*.kru)";
                QTest::newRow(qPrintable("RES " + sRow)) << 7 << eScreen << bInterlaced << "RES file (*.res)";
            }
        }
    }

    void saveDialogFilter()
    {
        QFETCH(int, eType);
        QFETCH(int, eScreen);
        QFETCH(bool, bInterlaced);
        QFETCH(QString, sFilter);
        if (!m_poWindow) m_poWindow.reset(new Window());
        m_poWindow->m_oSettings.ConversionType = static_cast<tdConversionType>(eType);
        m_poWindow->m_oSettings.ScreenMode = static_cast<tdScreenMode>(eScreen);
        m_poWindow->m_oSettings.InterlacedMode = bInterlaced ? 1 : 0;
        QCOMPARE(m_poWindow->oGetExtension(), sFilter);
    }

    // Each conversion type writes the files its format needs, under the names of
    // the file dispatch.
    void savingWritesTheFiles_data()
    {
        QTest::addColumn<int>("eType");
        QTest::addColumn<int>("eScreen");
        QTest::addColumn<bool>("bInterlaced");
        QTest::addColumn<QString>("sChosen");
        QTest::addColumn<QStringList>("asFiles");
        QTest::newRow("PNG") << 0 << 5 << false << "pic" << QStringList{"pic.png"};
        QTest::newRow("QEV") << 1 << 5 << false << "pic" << QStringList{"pic.qev"};
        QTest::newRow("SR screen 5") << 2 << 2 << false << "pic" << QStringList{"pic.sr5", "pic.pl5"};
        QTest::newRow("SR interlaced")
            << 2 << 2 << true << "pic" << QStringList{"pic.si5", "pic.sj5", "pic.pi5"};
        QTest::newRow("SC screen 8") << 3 << 5 << false << "pic" << QStringList{"pic.sc8"};
        QTest::newRow("SC named") << 3 << 5 << false << "pic.sc8" << QStringList{"pic.sc8"};
        QTest::newRow("SC interlaced") << 3 << 2 << true << "pic" << QStringList{"pic.sk5", "pic.sl5"};
        QTest::newRow("SC screen 10") << 3 << 6 << false << "pic" << QStringList{"pic.sca"};
        QTest::newRow("SPR") << 4 << 5 << false << "pic" << QStringList{"pic.spr"};
        QTest::newRow("KRU") << 6 << 2 << false << "pic" << QStringList{"pic.kru"};
        QTest::newRow("RES") << 7 << 5 << false << "pic" << QStringList{"pic.res"};
        QTest::newRow("RAW") << 5 << 5 << false << "pic" << QStringList{"pic.raw"};
    }

    void savingWritesTheFiles()
    {
        QFETCH(int, eType);
        QFETCH(int, eScreen);
        QFETCH(bool, bInterlaced);
        QFETCH(QString, sChosen);
        QFETCH(QStringList, asFiles);
        QTemporaryDir oFolder;
        Window* poWindow = poWindowWithPicture(m_sPicture);
        QVERIFY(poWindow);
        poWindow->m_oSettings.ConversionType = static_cast<tdConversionType>(eType);
        poWindow->m_oSettings.ScreenMode = static_cast<tdScreenMode>(eScreen);
        poWindow->m_oSettings.InterlacedMode = bInterlaced ? 1 : 0;
        QVERIFY(poWindow->bSaveImageAs(oFolder.filePath(sChosen)));
        QStringList asWritten = QDir(oFolder.path()).entryList(QDir::Files);
        asWritten.sort();
        asFiles.sort();
        QCOMPARE(asWritten, asFiles);
        for (const QString& sFile : asFiles)
            QVERIFY2(QFileInfo(oFolder.filePath(sFile)).size() > 0, qPrintable(sFile));
        QCOMPARE(poWindow->m_sImagePath, QDir(oFolder.path()).absolutePath() + QStringLiteral("/pic"));
    }

    void pngFileHoldsTheFittedPicture()
    {
        QTemporaryDir oFolder;
        Window* poWindow = poWindowWithPicture(m_sPicture);
        QVERIFY(poWindow);
        poWindow->m_oSettings.OutputSizeType = OutputSize_Custom;
        poWindow->m_oSettings.OutputWidth = 100;
        poWindow->m_oSettings.OutputHeight = 50;
        QVERIFY(poWindow->bSaveImageAs(oFolder.filePath(QStringLiteral("out"))));
        const QImage oRead(oFolder.filePath(QStringLiteral("out.png")));
        QCOMPARE(oRead.size(), QSize(100, 50));
    }

    // RAW output goes to the file chosen in the dialog: the same bytes that file
    // dispatch writes to any stream.
    void rawSaveWritesTheStream()
    {
        QTemporaryDir oFolder;
        Window* poWindow = poWindowWithPicture(m_sPicture);
        QVERIFY(poWindow);
        poWindow->m_oSettings.ConversionType = ConversionType_RAW;
        QVERIFY(poWindow->bSaveImageAs(oFolder.filePath(QStringLiteral("dump.raw"))));
        const QByteArray oSaved = oReadFile(oFolder.filePath(QStringLiteral("dump.raw")));
        QVERIFY(!oSaved.isEmpty());

        const QString sReference = oFolder.filePath(QStringLiteral("reference"));
        FILE* poStream = fopen(QFile::encodeName(sReference).constData(), "wb");
        QVERIFY(poStream);
        oWriteImageToFile(poWindow->m_poSourceImage, "unused", &poWindow->m_oSettings, nullptr, poStream);
        fclose(poStream);
        QCOMPARE(oSaved, oReadFile(sReference));
    }

    void kruSavesAppendRecords()
    {
        QTemporaryDir oFolder;
        Window* poWindow = poWindowWithPicture(m_sPicture);
        QVERIFY(poWindow);
        poWindow->m_oSettings.ConversionType = ConversionType_KRU;
        poWindow->m_oSettings.ScreenMode = ScreenMode_Screen5;
        const QString sName = oFolder.filePath(QStringLiteral("show"));
        QVERIFY(poWindow->bSaveImageAs(sName));
        const QByteArray oFirst = oReadFile(sName + QStringLiteral(".kru"));
        QVERIFY(oFirst.startsWith("MSXKRU"));
        QVERIFY(poWindow->bSaveImageAs(sName + QStringLiteral(".kru")));
        const QByteArray oBoth = oReadFile(sName + QStringLiteral(".kru"));
        QCOMPARE(oBoth.size(), 2 * oFirst.size());
        QCOMPARE(oBoth.mid(oFirst.size()), oFirst);
    }

    void saveWithoutPictureWritesNothing()
    {
        QTemporaryDir oFolder;
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QVERIFY(!poWindow->bSaveImageAs(oFolder.filePath(QStringLiteral("x"))));
        QVERIFY(QDir(oFolder.path()).entryList(QDir::Files).isEmpty());
    }

    // ---- About ----

    void aboutShowsVersionRevisionAndDate()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QTest::mouseClick(poWindow->m_poAbout, Qt::LeftButton);
        QPointer<QMessageBox> poBox;
        for (QWidget* poWidget : QApplication::topLevelWidgets())
            if (poWidget->objectName() == QLatin1String("AboutBox"))
                poBox = qobject_cast<QMessageBox*>(poWidget);
        QVERIFY(poBox);
        QCOMPARE(poBox->windowTitle(), QStringLiteral("About QEVui..."));
        QVERIFY(!poBox->parentWidget());
        static const QRegularExpression oPattern(QStringLiteral(
            "^Version: 3\\.4\\nHash: ([0-9a-f]{40}|unknown \\(not built from a git checkout\\))\\n"
            "Date: \\d{4}-\\d\\d-\\d\\d_\\d\\d:\\d\\d:\\d\\d$"));
        QVERIFY2(oPattern.match(poBox->text()).hasMatch(), qPrintable(poBox->text()));
        poBox->done(0);
        QTRY_VERIFY(poBox.isNull());
    }
};

QTEST_MAIN(TestInputOutput)
#include "test_input_output.moc"
