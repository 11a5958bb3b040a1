// The desktop program on Qt's offscreen platform, its settings store in a temporary folder. Oracles: texts,
// ranges, enabling rules, store keys, file names and palette levels typed in from the program's
// documentation; the core's own writers for the preview and the files; round trips through the store;
// pictures made with Qt. Tables and step scripts (vRun) are strings, rows split at ';'.

#include "camera_input.h"
#include "colorbutton.h"
#include "command_line.h"
#include "file_actions.h"
#include "palette_editor.h"
#include "preview.h"
#include "settings_panel.h"
#include "settings_store.h"
#include "status_line.h"
#include "view.h"
#include "window.h"

#include "qev/base/settings.h"
#include "qev/files/format_kru.h"
#include "qev/files/output_files.h"
#include "qev/files/png_io.h"
#include "qev/files/readerwriter.h"

#include <QtTest>
#include <QtWidgets>

#include <clocale>
#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace
{

// A cancelled save or a window closed during a conversion stops within a second; the
// sanitized build, several times slower everywhere, is given three.
#ifdef QEV_TEST_SANITIZED
constexpr int g_iStopLimitMs = 3000;
#else
constexpr int g_iStopLimitMs = 1000;
#endif

// Every pixel tells its place: red x, green y, blue 7 (x + y width), each modulo 256.
QImage oMakeTestPicture(int iWidth, int iHeight)
{
    QImage oImage(iWidth, iHeight, QImage::Format_RGB32);
    for (int i = 0; i < iWidth * iHeight; i++)
        oImage.setPixel(i % iWidth, i / iWidth, qRgb(i % iWidth % 256, i / iWidth % 256, i * 7 % 256));
    return oImage;
}

// A picture as an RGB32 QImage, read pixel by pixel (null for a null picture).
QImage oQImage(const Image* poImage)
{
    const int iWidth = poImage ? poImage->m_iWidth : 0;
    QImage oResult(iWidth, poImage ? poImage->m_iHeight : 0, QImage::Format_RGB32);
    for (int i = 0; i < iWidth * oResult.height(); i++)
    {
        const Color oColor = poImage->oGetPixel(i % iWidth, i / iWidth);
        oResult.setPixel(i % iWidth, i / iWidth, qRgb(oColor.r, oColor.g, oColor.b));
    }
    return oResult;
}

// Drags poData (or else the files) onto poTarget and drops it: "1"/"0" for each accepted.
QString sDrop(QWidget* poTarget, QMimeData* poData, const QStringList& asFiles = {})
{
    QMimeData oFiles;
    for (const QString& sFile : asFiles)
        oFiles.setUrls(oFiles.urls() << QUrl::fromLocalFile(sFile));
    QDragEnterEvent oEnter(QPoint(5, 5), Qt::CopyAction, poData ? poData : &oFiles, Qt::LeftButton, {});
    QDropEvent oDrop(QPointF(5, 5), Qt::CopyAction, poData ? poData : &oFiles, Qt::LeftButton, {});
    QCoreApplication::sendEvent(poTarget, &oEnter), QCoreApplication::sendEvent(poTarget, &oDrop);
    return QString::number(oEnter.isAccepted()) + QString::number(oDrop.isAccepted());
}

// The whole file, after replacing it by oWrite when that is not empty.
QByteArray oFile(const QString& sPath, const QByteArray& oWrite = QByteArray())
{
    QFile oFile(sPath);
    if (!oWrite.isEmpty() && oFile.open(QIODevice::WriteOnly)) oFile.write(oWrite), oFile.close();
    return oFile.open(QIODevice::ReadOnly) ? oFile.readAll() : QByteArray();
}

// The 16 colours as red, green, blue MSX levels (7c + 127) / 255, e.g. "000000252363...".
QString sLevels(const Color* poColors)
{
    QString sResult;
    for (int i = 0; i < 48; i++)
        sResult += QString::number((7 * (&poColors[i / 3].r)[i % 3] + 127) / 255);
    return sResult;
}

// The words of a text without commas, sorted.
QString sSorted(const QString& sText)
{
    QStringList asWords = QString(sText).remove(',').split(' ');
    asWords.sort();
    return asWords.join(' ');
}

// SaveImage (or fnStart) with its file dialog answered by sName: "filter|start folder|proposed name" and
// "|message" for each box (a question is answered Yes when bYes, else No).
QString sSaveThroughDialogs(Window* poW, const QString& sName, const std::function<void()>& fnStart = {},
                            bool bYes = false)
{
    QString sSeen;
    QTimer oAnswer;
    int iTicks = 0;
    auto vAnswer = [&]()
    {
        // The dialog selects its start file once its folder is read: the name is typed in a few ticks later.
        QFileDialog* poFiles = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (poFiles && ++iTicks > 5)
            sSeen += poFiles->nameFilters().join(';') + '|' + poFiles->directory().absolutePath() + '|' +
                     poFiles->findChild<QLineEdit*>("fileNameEdit")->text(),
                poFiles->findChild<QLineEdit*>("fileNameEdit")->setText(sName),
                QMetaObject::invokeMethod(poFiles, "accept"), iTicks = 0;
        if (QMessageBox* poBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            sSeen += '|' + poBox->text(),
                poBox->button(QMessageBox::Yes) && bYes ? poBox->button(QMessageBox::Yes)->click()
                : poBox->button(QMessageBox::No)        ? poBox->button(QMessageBox::No)->click()
                                                        : poBox->done(0);
    };
    QObject::connect(&oAnswer, &QTimer::timeout, vAnswer);
    poW->bWaitForConversion(30000);
    oAnswer.start(10);
    fnStart ? fnStart() : poW->m_poFileActions->SaveImage();
    return sSeen;
}

} // namespace

class TestApp : public QObject
{
    Q_OBJECT
    QTemporaryDir m_oStore, m_oFiles;
    QString m_sPicture; // 256 x 212
    std::unique_ptr<Window> m_poW;

    // A new window, shown, painted, with the picture loaded if named; the store emptied unless kept.
    Window* poShow(const QString& sPicture = QString(), bool bKeepStore = false)
    {
        m_poW.reset();
        if (!bKeepStore) QSettings().clear();
        m_poW.reset(new Window());
        m_poW->resize(m_poW->oFittedSize(QSize(3000, 2000))); // the offscreen screen is smaller
        m_poW->show();
        if (!QTest::qWaitForWindowExposed(m_poW.get())) return nullptr;
        vRun("paint");
        if (!sPicture.isEmpty() &&
            !(m_poW->m_poFileActions->bLoadImageFiles({sPicture}) && m_poW->bWaitForConversion(9000)))
            return nullptr;
        return m_poW.get();
    }

    template <typename T> T* po(const QString& sName) const { return m_poW->findChild<T*>(sName); }

    // A combo's index, a check box's 0 or 1, an edit's or a label's text, a slider's "value/label".
    QString sShown(const QString& sName) const
    {
        if (const QComboBox* poCombo = po<QComboBox>(sName)) return QString::number(poCombo->currentIndex());
        if (const QCheckBox* poBox = po<QCheckBox>(sName)) return QString::number(poBox->isChecked());
        if (const QLineEdit* poEdit = po<QLineEdit>(sName)) return poEdit->text();
        if (const QSlider* poSlider = po<QSlider>(sName))
            return QString::number(poSlider->value()) + '/' + po<QLabel>(sName + "Value")->text();
        return po<QLabel>(sName) ? po<QLabel>(sName)->text() : QString();
    }

    // Steps: "set Control value" (combo index, slider value, check box 0/1, edit text and Return, then
    // the controls from the settings); "edit Control text shown" (set, then shown); "fields" conversion
    // type, screen, dithering, palette type, delta method, size type, selected entry; "select i" and
    // "swap i j" (palette entries); "click Button"; "paint"; "settle" (paint, then convert at once what
    // the preview timer would); "on"/"off" Controls...; "shown Control text"; "count n" (conversions so
    // far); "pending 0/1"; "levels" of the custom palette; "status" line text.
    void vRun(const QString& sSteps)
    {
        Window* poW = m_poW.get();
        tdSettings* poS = &poW->m_oSettings;
        for (const QString& sStep : sSteps.split(';'))
        {
            const QStringList asArg = sStep.split(' ');
            const QString sVerb = asArg[0];
            auto iArg = [&](int i) { return asArg[i].toInt(); };
            for (const char* pszProperty : {"currentIndex", "value", "checked"})
                if (QWidget* poControl = sVerb == "set" ? po<QWidget>(asArg[1]) : nullptr)
                    if (poControl->property(pszProperty).isValid())
                        poControl->setProperty(pszProperty, iArg(2));
            if (QLineEdit* poEdit = sVerb == "set" || sVerb == "edit" ? po<QLineEdit>(asArg[1]) : nullptr)
                poEdit->setText(asArg[2]), emit poEdit->returnPressed(), poW->vUpdateUI();
            if (sVerb == "fields")
                poS->ConversionType = tdConversionType(iArg(1)), poS->ScreenMode = tdScreenMode(iArg(2)),
                poS->DitheringMode = tdDitheringMode(iArg(3)), poS->PaletteType = tdPaletteType(iArg(4)),
                poS->DeltaMethod = tdDeltaMethod(iArg(5)), poS->OutputSizeType = tdOutputSizeType(iArg(6)),
                poS->SelectedColor = iArg(7);
            if (sVerb == "select") poW->m_poPaletteEditor->vColorButtonClicked(iArg(1));
            if (sVerb == "swap") poW->m_poPaletteEditor->vColorButtonDragAndDropped(iArg(1), iArg(2));
            if (sVerb == "click") QTest::mouseClick(po<QWidget>(asArg[1]), Qt::LeftButton);
            if (sVerb == "paint" || sVerb == "settle") poW->repaint(), QCoreApplication::processEvents();
            if (sVerb == "settle" && poW->m_poPreview->m_bPending) poW->vDoUpdatePreviewImage();
            if (sVerb == "settle" || sVerb == "count") QTRY_VERIFY(!poW->m_poPreview->m_poJob);
            for (const QString& sName : sVerb == "on" || sVerb == "off" ? asArg.mid(1) : QStringList())
                QVERIFY2(po<QWidget>(sName) && po<QWidget>(sName)->isEnabled() == (sVerb == "on"),
                         qPrintable(sName));
            const QString sFound = sVerb == "count" ? QString::number(poW->m_poPreview->m_iConversionCount)
                                   : sVerb == "pending" ? QString::number(poW->m_poPreview->m_bPending)
                                   : sVerb == "levels"  ? sLevels(poS->CustomPalette)
                                   : sVerb == "status"  ? poW->m_poStatusLine->text()
                                   : sVerb == "shown"   ? asArg[1] + ' ' + sShown(asArg[1])
                                   : sVerb == "edit"    ? asArg[1] + ' ' + asArg[2] + ' ' + sShown(asArg[1])
                                                        : QString();
            QVERIFY2(sFound.isEmpty() || sFound == sStep.section(' ', 1), qPrintable(sStep + ": " + sFound));
        }
    }

private slots:
    void initTestCase()
    {
        setlocale(LC_NUMERIC, "C");
        QCoreApplication::setOrganizationName("brenmoor"), QCoreApplication::setApplicationName("QEVui");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_oStore.path());
        QVERIFY(oMakeTestPicture(256, 212).save(m_sPicture = m_oFiles.filePath("gradient.png"), "PNG"));
    }

    void cleanup() { m_poW.reset(), QApplication::clipboard()->clear(); }

    // Start-up; caption and items of each combo. Then each control's value goes through the store that the
    // closing window writes and comes back in the next window. Rows: control, value set, value shown (if
    // not the value set).
    void startUpControlsAndTheirStore()
    {
        Window* poW = poShow();
        QVERIFY(poW && poW->windowTitle() == "QEVui 3.4" && poW->m_poView->m_poRenderArea->x() == 0);
        // Full size where the screen has room; on smaller screens every control can be scrolled into view.
        const QWidget* poViewport = poW->m_poSettingsPanel->m_poSettingsArea->viewport();
        for (const QSize& oScreen : {QSize(1280, 720), QSize(1366, 768), QSize(1920, 1080)})
        {
            poW->resize(poW->oFittedSize(oScreen));
            QTest::qWait(20);
            QVERIFY(poW->width() <= oScreen.width() && poW->height() <= oScreen.height() &&
                    poW->m_poView->m_poRenderArea->geometry().right() <
                        poW->m_poSettingsPanel->m_poSettingsArea->x());
            // Open, Save and the command line are in view without scrolling.
            for (QWidget* poShown :
                 {poW->m_poToolBar->widgetForAction(poW->findChild<QAction*>("actionOpen")),
                  poW->m_poToolBar->widgetForAction(poW->findChild<QAction*>("actionSave")),
                  static_cast<QWidget*>(poW->m_poCommandLine)})
                QVERIFY(poShown && poShown->isVisible() &&
                        poW->rect().contains(QRect(poShown->mapTo(poW, QPoint()), poShown->size())));
            // The toolbar's Open offers the recent pictures too.
            QMenu* poToolRecent = poW->findChild<QMenu*>("ToolBarRecentMenu");
            QVERIFY(poToolRecent);
            emit poToolRecent->aboutToShow();
            QVERIFY(!poToolRecent->actions().isEmpty());
            // The wheel over a combo box or slider without the focus scrolls the panel and changes nothing.
            QScrollBar* poBar = poW->m_poSettingsPanel->m_poSettingsArea->verticalScrollBar();
            for (const char* pszName : {"DitheringMode", "ErrorDiffusionFactor"})
            {
                QWidget* poControl = po<QWidget>(pszName);
                const QString sBefore = sShown(pszName);
                poW->m_poSettingsPanel->m_poSettingsArea->ensureVisible(0, 0);
                const int iScrolled = poBar->value();
                QWheelEvent oWheel(QPointF(5, 5), poControl->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                                   Qt::NoButton, {}, Qt::NoScrollPhase, false);
                QVERIFY(!poControl->hasFocus());
                QApplication::sendEvent(poControl, &oWheel);
                QVERIFY2(sShown(pszName) == sBefore && (oScreen.height() > 800 || poBar->value() > iScrolled),
                         pszName);
            }
            for (QWidget* poControl :
                 poW->m_poSettingsPanel->m_poSettingsArea->widget()->findChildren<QWidget*>())
            {
                if (!qobject_cast<QAbstractButton*>(poControl) && !qobject_cast<QComboBox*>(poControl) &&
                    !qobject_cast<QSlider*>(poControl) && !qobject_cast<QLineEdit*>(poControl) &&
                    !qobject_cast<ColorButton*>(poControl))
                    continue;
                const QPoint oCentre = poControl->mapTo(poW->m_poSettingsPanel->m_poSettingsArea->widget(),
                                                        poControl->rect().center());
                poW->m_poSettingsPanel->m_poSettingsArea->ensureVisible(
                    oCentre.x(), oCentre.y(), poControl->width() / 2 + 1, poControl->height() / 2 + 1);
                const QRect oAt(poControl->mapTo(poW, QPoint()), poControl->size());
                QVERIFY2(QRect(poViewport->mapTo(poW, QPoint()), poViewport->size()).contains(oAt),
                         qPrintable(poControl->objectName()));
            }
        }
        QVERIFY(poW->width() == 1648 && poW->m_poView->m_poRenderArea->size() == QSize(1024, 768) &&
                !poW->m_poSettingsPanel->m_poSettingsArea->verticalScrollBar()->isVisible());
        vRun("shown ErrorDiffusionFactor 800/0.800;shown AverageErrorRGB 0.000;shown ScreenMode 5;count 0;"
             "pending 0;off R SaveImage Copy Paste;levels 000000252363225437521267632743662664141535666777");
        // A disabled control's tooltip says why.
        QCOMPARE(po<QWidget>("SaveImage")->toolTip(),
                 "Save image to a file.\nDisabled: open, drop or paste a picture first.");
        QString sTexts;
        for (const QString& sName :
             QString("ScreenMode DeltaMethod PaletteType FitMode ConversionType ResizeFilter DisplayFilter "
                     "RGB2YJKMethod YJK2RGBInterpolation InputAspectRatioType OutputAspectRatioType "
                     "OutputSize DitheringMode")
                 .split(' '))
        {
            const QComboBox* poCombo =
                po<QComboBox>(sName) ? po<QComboBox>(sName) : po<QComboBox>(sName + "Type");
            sTexts += po<QLabel>(sName + "Label")->text() + ':';
            for (int i = 0; i < poCombo->count(); i++)
                sTexts += poCombo->itemText(i) + (i + 1 < poCombo->count() ? ',' : ';');
        }
        QCOMPARE(
            sTexts,
            "Screen:Screen 2,Screen 3,Screen 5,Screen 6,Screen 7,Screen 8,Screen 10,Screen 12,Screen 4;Delta "
            "method:RGB,XYZ,LAB,CIEDE2000,Hit9918,Oklab;Palette type:Auto,Custom,MSX1,MSX2,Grey;Fit "
            "mode:None,Fit,Crop,Crop width,Crop height,Fill;Convert "
            "to:PNG,QEV,SR,SC,SPR,RAW,KRU,RES,ROM;Resize "
            "filter:Auto,Nearest,Linear,Box,Bicubic;Display\nfilter:Auto,Nearest,Linear,Box,Bicubic;RGB2YJK "
            "method:Standard,Least squares,Gradient descent,Area search,Brute force;YJK2RGB "
            "\ninterpolation:None,Linear,Lanczos2,Lanczos3;Input A.R.:Auto,Custom,60Hz,50Hz,1:1,60Hz IL,60Hz "
            "HR,50Hz IL,50Hz HR;Output A.R.:Auto,Custom,60Hz,50Hz,1:1,60Hz IL,60Hz HR,50Hz IL,50Hz HR;Output "
            "size:Custom,Original,256x192,256x212,512x424,640x480,800x600,1024x768;Dithering mode:None,Error "
            "diffusion,Bayer 2x2,Bayer 4x4,Bayer 8x8;");
        const QString sControls =
            "ScreenMode 7;DeltaMethod 5;PaletteType 4;FitMode 5;ConversionType 8;ResizeFilter 4;"
            "DisplayFilter 3;RGB2YJKMethod 4;YJK2RGBInterpolation 3;InputAspectRatioType 8;"
            "OutputAspectRatioType 7;OutputSizeType 6;DitheringMode 4;BrightnessWeight 10000 10000/10.000;"
            "PaletteDetailsEnhancement 41000 41000/41.000;Screen2DetailsEnhancement 1001 1001/1.001;"
            "YJKDetailsEnhancement 1125 1125/1.125;ErrorDiffusionFactor 1000 1000/1.000;"
            "BayerFactor 300 300/0.300;BayerHighThreshold 900 900/0.900;BayerLowThreshold 100 100/0.100;"
            "HorizontalShift -4 -4/-4;InterlacedMode 1;RealMSXAspectRatio 1;Screen10Palette 1;"
            "OutputWidth 640;OutputHeight 480;CustomInputAspectRatio 1.25 1.250;"
            "CustomOutputAspectRatio 0.75 0.750";
        const QStringList asRows = sControls.split(';');
        for (const QString& sRow : asRows)
            vRun("set " + sRow.section(' ', 0, 1));
        QVERIFY(poShow(QString(), true));
        for (const QString& sRow : asRows)
            vRun("shown " + sRow.section(' ', 0, 0) + ' ' + sRow.section(' ', sRow.count(' ')));

        // The store alone: "Key=text" rows loaded into a default record, saved again with only the changes
        // (sorted) or all fields when a key is named (its text returned). A byte field keeps an integer's low
        // byte; no field takes a number that is not finite; keys outside the group are left alone.
        QSettings oStore(m_oFiles.filePath("store.ini"), QSettings::IniFormat);
        auto sThroughRecord = [&](const QString& sRows, const QString& sKey = QString())
        {
            oStore.clear();
            for (const QString& sRow : sRows.split(';', Qt::SkipEmptyParts))
                oStore.setValue(sRow == "ScreenMode=3" ? sRow.left(10) : "QEV/" + sRow.section('=', 0, 0),
                                sRow.section('=', 1));
            tdSettings oSettings;
            vGetDefaultSettings(&oSettings);
            vLoadSettingsFromQSettings(&oSettings, oStore);
            oStore.clear();
            vSaveSettingsToQSettings(&oSettings, oStore, sKey.isEmpty());
            QStringList asResult;
            for (const QString& sStored : oStore.allKeys())
                asResult << sStored.mid(4) + '=' + oStore.value(sStored).toString();
            return sKey.isEmpty() ? asResult.join(';') : oStore.value("QEV/" + sKey).toString();
        };
        const QString sKept = "BayerFactor=0.3;Bordercolor=7;BrightnessWeight=2.5;ErrorDiffusionFactor=0.625;"
                              "InterlacedMode=1;PaletteDetailsEnhancement=3.5;RealMSXAspectRatio=1;"
                              "ResourceWritePalette=0;Screen10Palette=1;Screen2DetailsEnhancement=12;"
                              "ScreenMode=7;YJKDetailsEnhancement=1.125";
        QCOMPARE(sThroughRecord(sKept + ";ScreenMode=3;SelectedColor=3;SourceBaseName=x"), sKept);
        QCOMPARE(sThroughRecord("Bordercolor=511;BayerFactor=nan;InterlacedMode=257"),
                 "Bordercolor=255;InterlacedMode=1");
        // Rows: key, below the lowest, lowest, highest, above, more refused texts: only the bounds are kept.
        const QString sRanges =
            "CustomInputAspectRatio 0.009 0.01 100 100.001 lots;"
            "CustomOutputAspectRatio 0.009 0.01 100 100.001 nan;ConversionType -1 0 8 9;"
            "DisplayFilter -1 0 4 5;DeltaMethod -1 0 5 6 2.5;FitMode -1 0 5 6;HShift -8193 -8192 8192 8193;"
            "InputAspectRatioType -1 0 8 9;KRUBlockSize 0 1 58000 58001 yes;OutputAspectRatioType -1 0 8 9;"
            "OutputHeight 0 1 8192 8193 4294967776;OutputSizeType -1 0 7 8;OutputWidth 0 1 8192 8193;"
            "PaletteType -1 0 4 5;RGB2YJKMethod -1 0 4 5;ResizeFilter -1 0 4 5;ResourceMode -1 0 2 3;"
            "ResourcePaletteSize 0 1 16 17;ScreenMode -1 0 8 9;YJK2RGBInterpolation -1 0 3 4;"
            "DitheringMode -1 0 4 5;BayerLowThreshold -0.001 0 1 1.001;BayerHighThreshold -0.001 0 1 1.001";
        for (const QString& sRow : sRanges.split(';'))
        {
            const QStringList as = sRow.split(' ');
            for (int i = 1; i < as.size(); i++)
                QVERIFY2(sThroughRecord(as[0] + '=' + as[i], as[0]) ==
                             (i == 2 || i == 3 ? as[i] : sThroughRecord("", as[0])),
                         qPrintable(sRow + ": " + as[i]));
        }
    }

    // Five changes within the 250 ms wait convert once, after the wait. Switching among MSX types,
    // editing an unused palette and selecting an entry do not reconvert; a used palette does. The
    // preview (for every screen) is what the core's writers convert, with the KRU writer's error triple shown
    // (PNG shows no error rather than an earlier one). Rows: conversion type, screen, dithering. Then:
    // enabled controls; the command line; line edits refuse what is no valid value; the low Bayer threshold
    // never exceeds the high one; reset to defaults; leaving an edit that still shows the field's value keeps
    // it exact.
    void previewAndControlRules()
    {
        Window* poW = poShow(m_sPicture);
        for (int i = 1; poW && i <= 5; i++)
            vRun(QString("count 1;set PaletteDetailsEnhancement %1;paint;pending 1").arg(1000 + 500 * i));
        QVERIFY(poW && poW->m_poPreview->m_poTimer->isActive() &&
                poW->m_poPreview->m_poTimer->interval() == 250);
        QTRY_COMPARE_WITH_TIMEOUT(poW->m_poPreview->m_iConversionCount, 2, 5000);
        QTest::qWait(300);
        vRun("count 2;set ConversionType 3;settle;count 3;set ConversionType 6;paint;set ConversionType "
             "2;paint;set ConversionType 1;paint;set ConversionType 5;paint;set ConversionType 7;paint;set "
             "ConversionType 4;paint;set ConversionType 3;select 4;set G 1;swap 1 2;settle;count 3;set "
             "ScreenMode 2;settle;set G 5;paint;pending 1");
        for (const QString& sRow :
             QString("3 2 1;6 7 3;1 0 1;2 1 0;3 3 2;7 4 4;3 5 1;3 6 3;0 7 3;6 8 1").split(';'))
        {
            const QString sArg = "set %1 %2;";
            vRun(sArg.arg("ConversionType", sRow[0]) + sArg.arg("ScreenMode", sRow[2]) +
                 sArg.arg("DitheringMode", sRow[4]) + "set OutputSizeType 2;settle");
            Image* poExpected = nullptr;
            const tdErrorTriple oE =
                sRow[0] == '0'
                    ? oWriteImageToPNGFile(poW->m_poSourceImage, &poW->m_oSettings, nullptr, &poExpected)
                    : oWriteImageToKRUFile(poW->m_poSourceImage, &poW->m_oSettings, nullptr, &poExpected,
                                           nullptr, CompressionType_None);
            QVERIFY2(poExpected && oQImage(poW->m_poView->m_poConvertedImage) == oQImage(poExpected),
                     qPrintable(sRow));
            delete poExpected;
            QCOMPARE(sShown("AverageErrorG") + sShown("AverageErrorRGB"),
                     sRow[0] == '0'
                         ? "--"
                         : QString::asprintf("%.3f%.3f", oE.fGreen, oE.fRed + oE.fGreen + oE.fBlue));
        }
        QVERIFY(poW->m_poView->m_poConvertedImage->m_iHeight == 192 &&
                poW->m_poView->m_poDisplayedImage->size() == QSize(1024, 768));
        // Zoom 2:1 doubles the converted pixels in the middle of the display; Space held shows the source.
        vRun("set Zoom 2");
        QCOMPARE(
            poW->m_poView->m_poDisplayedImage->copy(256, 192, 512, 384).convertToFormat(QImage::Format_RGB32),
            oQImage(poW->m_poView->m_poConvertedImage).scaled(512, 384));
        QTest::keyPress(poW, Qt::Key_Space);
        QVERIFY(poW->m_poView->poShownImage() == poW->m_poView->m_poOriginalImage &&
                poW->m_poView->m_poShowOriginal->isChecked());
        QTest::keyRelease(poW, Qt::Key_Space);
        QVERIFY(poW->m_poView->poShownImage() == poW->m_poView->m_poDisplayedImage &&
                !poW->m_poView->m_poShowOriginal->isChecked());
        vRun("set Zoom 0");

        // Rows: conversion type, screen, dithering, palette type, delta method, size type, selected entry,
        // then 1 for each control of sNames enabled.
        QVERIFY(poShow(m_sPicture));
        const QString sNames =
            "ScreenMode ScreenModeLabel DitheringMode AverageErrorHeading AverageErrorRLabel AverageErrorB "
            "HorizontalShiftValue DeltaMethodLabel BayerFactor BayerLowThreshold BayerHighThresholdValue "
            "ErrorDiffusionFactor ErrorDiffusionFactorLabel OutputSizeType OutputSizeLabel OutputWidth "
            "OutputHeight FitMode FitModeLabel BrightnessWeight Screen10Palette InterlacedMode "
            "Screen2DetailsEnhancement YJKDetailsEnhancement RGB2YJKMethodLabel PaletteTypeLabel "
            "GetFromImage PaletteDetailsEnhancement R GValue BLabel";
        const QString sEnabled =
            "0 5 1 0 0 1 -1 0000000000000110000000000000000;0 5 1 0 0 0 -1 0000000000000111111000000000000;"
            "3 2 1 0 0 0 -1 1111111100011000011001000111000;2 6 0 1 0 1 -1 1111111100000000011011011000000;"
            "7 7 1 0 0 1 -1 0000000000000110000000001000000;1 1 2 2 0 1 -1 1111111111100000011000000110000;"
            "3 7 3 0 0 1 -1 1111111111100000011001011000000;6 0 4 0 4 1 3 1111111111100000011100100111111";
        for (const QString& sRow : sEnabled.split(';'))
        {
            QString sFound = sRow.section(' ', 0, 6) + ' ';
            vRun("fields " + sFound + ";paint");
            for (const QString& sName : sNames.split(' '))
                sFound += po<QWidget>(sName)->isEnabled() ? '1' : '0';
            QCOMPARE(sFound, sRow);
        }
        QVERIFY(poShow(m_sPicture));
        // A tile budget: 256 needs the shared bank; the picture's tiles are shown once converted.
        vRun(
            "set ScreenMode 0;set ConversionType 3;paint;on TileLimit;off TileSharedBank;edit TileLimit 256 "
            "0;"
            "status Tiles: \"256\" refused (allowed: a whole number from 0 (no limit) to 255);edit TileLimit "
            "64 64;paint;on TileSharedBank;set TileSharedBank 1;edit TileLimit 256 256;set TileSharedBank 0;"
            "shown TileLimit 255;set TileSharedBank 1;edit TileLimit 64 64;settle;shown CommandLine qev " +
            m_sPicture + " -ct3 -sm0 -tl64 -tsb1 -of" + m_sPicture.chopped(4));
        const QString sTiles = po<QLabel>("TileCount")->text();
        QVERIFY2(sTiles.endsWith(" shared") && sTiles.section(' ', 0, 0).toInt() > 0 &&
                     sTiles.section(' ', 0, 0).toInt() <= 64,
                 qPrintable(sTiles));
        vRun("set ScreenMode 2;paint;off TileLimit;set TileSharedBank 0;edit TileLimit 0 0");
        vRun("set ScreenMode 2;set ConversionType 3;paint;shown CommandLine qev " + m_sPicture +
             " -ct3 -sm2 -of" + m_sPicture.chopped(4) +
             ";set DeltaMethod 4;paint;on BrightnessWeight;set InputAspectRatioType "
             "1;paint;on CustomInputAspectRatio;off CustomOutputAspectRatio;edit OutputWidth 0 256;edit "
             "OutputWidth wide 256;status Output width: \"wide\" refused (allowed: a whole number from 1 to "
             "8192);edit OutputWidth 8193 256;edit OutputWidth 12.5 256;edit OutputWidth 8192 "
             "8192;edit OutputHeight 8193 212;edit OutputHeight 1 1;edit CustomInputAspectRatio 0 1.000;edit "
             "CustomInputAspectRatio nan 1.000;edit CustomInputAspectRatio 0.0099 1.000;edit "
             "CustomInputAspectRatio 100.01 1.000;edit CustomInputAspectRatio 0.01 0.010;edit "
             "CustomInputAspectRatio 100 100.000;edit CustomOutputAspectRatio -1 1.000;edit "
             "CustomOutputAspectRatio 1.25 1.250;set BayerLowThreshold 500;set BayerHighThreshold 300;shown "
             "BayerHighThreshold 500/0.500;set BayerHighThreshold 600;set BayerLowThreshold 650;shown "
             "BayerLowThreshold 600/0.600;set HorizontalShift 3;select 2;swap 0 15;settle;click "
             "ResetToDefaults;paint;pending 1;shown ScreenMode 5;shown HorizontalShift 0/0;off R;levels "
             "000000252363225437521267632743662664141535666777");
        tdSettings oDefaults;
        vGetDefaultSettings(&oDefaults);
        QVERIFY(memcmp(&oDefaults, &m_poW->m_oSettings, sizeof(tdSettings)) == 0 &&
                !m_poW->m_poPaletteEditor->m_apoColorButtons[2]->m_bSelected);
        QTRY_COMPARE_WITH_TIMEOUT(m_poW->m_poPreview->m_iConversionCount, 3, 5000);
        m_poW->m_oSettings.CustomInputAspectRatio = 1.23456;
        m_poW->vUpdateUI();
        emit m_poW->m_poSettingsPanel->m_poCustomInputAspectRatio->editingFinished();
        QCOMPARE(m_poW->m_oSettings.CustomInputAspectRatio, 1.23456);
    }

    // The conversion runs beside the event loop. A slow one (Screen 12 by brute force with CIEDE2000:
    // seconds) is superseded by a newer change, whose result alone is painted; a drop during it is converted;
    // Esc drops it, keeping the last picture; closing the window does not wait for it.
    void conversionBesideTheEventLoop()
    {
        Window* poW = poShow(m_sPicture);
        QVERIFY(poW);
        QElapsedTimer oClock;
        auto vStartSlow = [&]()
        {
            vRun("set ConversionType 3;set DeltaMethod 3;set ScreenMode 7;set RGB2YJKMethod 4;paint");
            poW->vDoUpdatePreviewImage();
            QTest::qWait(300);
            oClock.start();
            QVERIFY(poW->m_poPreview->m_poJob && poW->m_poPreview->m_bPending);
        };
        // The window's thread never waits for a conversion or a read: the longest gap between the ticks of a
        // 5 ms timer stays far below the seconds a wait would take.
        auto iLongestPause = [](const std::function<void()>& fnRun)
        {
            QElapsedTimer oGap;
            qint64 iLongest = 0;
            QTimer oTick;
            QObject::connect(&oTick, &QTimer::timeout,
                             [&]() { iLongest = std::max(iLongest, oGap.restart()); });
            oGap.start(), oTick.start(5);
            fnRun();
            return std::max(iLongest, oGap.elapsed());
        };
        // A slow conversion superseded by another slow one, which a fast one supersedes.
        const qint64 iSuperseded = iLongestPause(
            [&]()
            {
                vStartSlow();
                QTRY_VERIFY(poW->m_poPreview->m_poProgress->isVisible() &&
                            poW->m_poPreview->m_iConversionCount == 1);
                const int iJobs = poW->m_poPreview->m_iJobCount;
                vRun("set DeltaMethod 5;paint");
                poW->vDoUpdatePreviewImage();
                QTRY_VERIFY_WITH_TIMEOUT(poW->m_poPreview->m_iJobCount == iJobs + 1, 20000);
                QTest::qWait(300);
                oClock.start();
                vRun("set ScreenMode 2;set DeltaMethod 0;settle;count 2;pending 0");
            });
        QVERIFY2(iSuperseded < 250 && !poW->m_poPreview->m_poProgress->isVisible() && oClock.elapsed() < 5000,
                 qPrintable(QString("%1 ms").arg(iSuperseded)));
        Image* poExpected = nullptr;
        oWriteImageToKRUFile(poW->m_poSourceImage, &poW->m_oSettings, nullptr, &poExpected, nullptr,
                             CompressionType_None);
        QVERIFY(oQImage(poW->m_poView->m_poConvertedImage) == oQImage(poExpected));
        delete poExpected;

        vStartSlow();
        QVERIFY(oMakeTestPicture(64, 48).save(m_oFiles.filePath("small.png"), "PNG"));
        vRun("set ScreenMode 2;set DeltaMethod 0");
        QCOMPARE(sDrop(poW, nullptr, {m_oFiles.filePath("small.png")}), "11");
        vRun("count 3;pending 0");
        QVERIFY(oQImage(poW->m_poSourceImage) == oMakeTestPicture(64, 48) && oClock.elapsed() < 5000);

        // A large picture is read, and shown fitted until its conversion is painted, without a pause.
        QImage oNoise(3000, 3000, QImage::Format_RGB32);
        for (int i = 0; i < 3000 * 3000; i++)
            reinterpret_cast<quint32*>(oNoise.bits())[i] = quint32(i) * 2654435761u;
        QVERIFY(oNoise.save(m_oFiles.filePath("noise.jpg"), "JPG", 90));
        const qint64 iRead = iLongestPause(
            [&]()
            {
                QVERIFY(poW->m_poFileActions->bLoadImageFiles({m_oFiles.filePath("noise.jpg")}));
                QVERIFY(!poW->m_poView->m_poConvertedImage && poW->m_poView->poShownImage() &&
                        poW->m_poView->poShownImage()->size() == poW->m_poView->m_poRenderArea->size());
                vRun("settle");
            });
        QVERIFY2(iRead < 250, qPrintable(QString("%1 ms").arg(iRead)));
        QVERIFY(poW->m_poFileActions->bLoadImageFiles({m_oFiles.filePath("small.png")}));
        vRun("settle");

        const Image* poShown = poW->m_poView->m_poConvertedImage;
        vStartSlow();
        QTest::keyClick(po<QComboBox>("ScreenMode"), Qt::Key_Escape);
        vRun("count 5;pending 0");
        QVERIFY(poW->m_poView->m_poConvertedImage == poShown && oClock.elapsed() < 5000);

        vStartSlow();
        m_poW.reset();
        QVERIFY(oClock.elapsed() < g_iStopLimitMs);
    }

    // No lost work. A slow save (4000 x 4000 noise) cancelled by the button (PNG), by Esc (SPR) or by closing
    // the window (RES) stops within a second after its progress has moved, and leaves the folder as it was;
    // the window closes. A write-protected file (mode 444, which the superuser too must respect) is refused
    // by name before the conversion and at the commit. The question lists the files of the set that exist.
    // Palette files without a colour keep the palette; a short one keeps the other entries. Ctrl+Z undoes
    // palette edits and Reset to defaults.
    void noLostWork()
    {
        QTemporaryDir oFolder;
        oFile(oFolder.filePath("p.png"), "old picture"), oFile(oFolder.filePath("p.spr"), "old sprites");
        auto sListing = [&]()
        {
            QString sResult;
            for (const QString& sName : QDir(oFolder.path()).entryList(QDir::Files | QDir::Hidden))
                sResult += sName + '=' + oFile(oFolder.filePath(sName)) + ';';
            return sResult;
        };
        const QString sBefore = sListing();
        for (int iWay = 0; iWay < 3; iWay++)
        {
            Window* poW = poShow();
            QVERIFY(poW);
            Image* poNoise = new Image(4000, 4000, 3, Background_Black, 1.0);
            uint32_t uiSeed = 1;
            for (size_t i = 0; i < size_t(4000) * 4000 * 3; i++)
                uiSeed = uiSeed * 1664525u + 1013904223u, poNoise->m_pucTexels[i] = uiSeed >> 24;
            poW->vReplaceSourceImage(poNoise);
            const tdConversionType aeTypes[3] = {ConversionType_PNG, ConversionType_SPR, ConversionType_RES};
            poW->m_oSettings.ConversionType = aeTypes[iWay];
            // Cancelled once the progress has moved.
            QElapsedTimer oClock;
            int iProgress = -1;
            QTimer oPoll;
            QObject::connect(&oPoll, &QTimer::timeout,
                             [&]()
                             {
                                 QProgressDialog* poDialog = poW->findChild<QProgressDialog*>("SaveProgress");
                                 if (!poDialog || !poDialog->isVisible() || poDialog->value() <= 0) return;
                                 iProgress = poDialog->value();
                                 oPoll.stop();
                                 oClock.start();
                                 if (iWay == 0) poDialog->findChild<QPushButton*>()->click();
                                 if (iWay == 1) QTest::keyClick(poDialog, Qt::Key_Escape);
                                 if (iWay == 2) poW->close();
                             });
            oPoll.start(50);
            QVERIFY(!poW->m_poFileActions->bSaveImageAs(oFolder.filePath("p")));
            QTRY_VERIFY(poW->isHidden() == (iWay == 2));
            QVERIFY2(
                iProgress > 0 && oClock.elapsed() < g_iStopLimitMs && sListing() == sBefore,
                qPrintable(QString("%1: progress %2, %3 ms").arg(iWay).arg(iProgress).arg(oClock.elapsed())));
            vRun("status Save cancelled: nothing was written");
        }

        Window* poW = poShow(m_sPicture);
        const QString sLocked = oFolder.filePath("locked.sc5");
        QVERIFY(poW && oFile(sLocked, "kept") == "kept" && QFile::setPermissions(sLocked, QFile::ReadOwner));
        vRun("set ConversionType 3;set ScreenMode 2");
        QCOMPARE(sSaveThroughDialogs(poW, oFolder.filePath("locked"), {}, true).section('|', 3),
                 "Not saved: " + sLocked + " is write-protected (no write permission), so it is kept.");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Picture not saved: "));
        QVERIFY(!poW->m_poFileActions->bSaveImageAs(oFolder.filePath("locked")) && oFile(sLocked) == "kept");
        vRun("status Picture not saved: " + sLocked +
             " is write-protected (no write permission): it is kept");
        vRun("set ConversionType 2");
        QVERIFY(poW->m_poFileActions->bSaveImageAs(oFolder.filePath("q")));
        QCOMPARE(sSaveThroughDialogs(poW, oFolder.filePath("q")).section('|', 3),
                 "q.sr5, q.pl5 exist. Replace them?");
        vRun("status Not saved: q.sr5, q.pl5 are kept;set ConversionType 6");
        QVERIFY(poW->m_poFileActions->bSaveImageAs(oFolder.filePath("k")));
        QCOMPARE(sSaveThroughDialogs(poW, oFolder.filePath("k"), {}, true).section('|', 3),
                 "k.kru exists. Append the picture to it as a new record?");

        const QString sDefault = sLevels(poW->m_oSettings.CustomPalette), sGpl = oFolder.filePath("p.gpl");
        vRun("select 3;set R 1;set R 2");
        const QString sEdited = sLevels(poW->m_oSettings.CustomPalette);
        for (const char* pszText : {"", "GIMP Palette\nName: none\n#\nno colour here\n"})
        {
            QFile oGpl(sGpl);
            QVERIFY(oGpl.open(QIODevice::WriteOnly | QIODevice::Truncate));
            oGpl.write(pszText), oGpl.close();
            poW->m_poPaletteEditor->vLoadPaletteFrom(sGpl);
            vRun("levels " + sEdited + ";status Palette not loaded: palette file " + sGpl +
                 " holds no colour");
        }
        oFile(sGpl, "GIMP Palette\n255 255 255\n0 0 0\n255 0 0\n");
        poW->m_poPaletteEditor->vLoadPaletteFrom(sGpl);
        vRun("levels 777000700" + sEdited.mid(9) + ";status Loaded the palette " + sGpl +
             ": it holds 3 colours, entries 3 to 15 are unchanged;click ResetToDefaults;paint;"
             "shown ScreenMode 5;levels " +
             sDefault);
        for (const QString& sLevelsAfter : {"777000700" + sEdited.mid(9), sEdited, sDefault})
        {
            QApplication::setActiveWindow(poW); // the dialogs above took it
            QTest::keyClick(poW, Qt::Key_Z, Qt::ControlModifier);
            vRun("paint;levels " + sLevelsAfter);
        }
        vRun("shown ScreenMode 2");
    }

    // Drops (the first readable file, named after it; retro decoders). Palette: entries dragged and dropped,
    // selection and the R, G, B sliders.
    void picturesPaletteAndSaving()
    {
        Window* poW = poShow();
        const QString sText = m_oFiles.filePath("notes.txt"), sNamed = m_oFiles.filePath("F/sunset.big.png");
        oFile(sText, "No picture."), oFile(sText + ".png", "No picture.");
        QVERIFY(poW && QDir(m_oFiles.path()).mkpath("F") && QFile::copy(m_sPicture, sNamed));
        QVERIFY(sDrop(poW, nullptr, {sText, sText + ".png", sText + ".jpg"}) == "10" &&
                poW->m_poFileActions->m_sImagePath.isEmpty());
        vRun("status Cannot read notes.txt: unknown file type (and 2 more files could not be read)");
        QVERIFY(sDrop(poW, nullptr, {sText + ".png"}) == "10");
        vRun("status Cannot read notes.txt.png: the file is missing, damaged or not a supported picture");
        QCOMPARE(sDrop(poW, nullptr, {sText, sText + ".png", sNamed, m_sPicture}), "11");
        QCOMPARE(poW->m_poFileActions->m_sImagePath, QFileInfo(sNamed).absolutePath() + "/sunset.big");
        // The command line names the picture and the output, quoted for the shell where needed.
        QVERIFY(
            poW->m_poCommandLine->text().startsWith("qev " + QFileInfo(sNamed).absoluteFilePath() + " ") &&
            poW->m_poCommandLine->text().endsWith(" -of" + QFileInfo(sNamed).absolutePath() + "/sunset.big"));
        QCOMPARE(sShellWord("a b") + sShellWord("it's") + sShellWord("/x/y-1.png"),
                 "'a b''it'\\''s'/x/y-1.png");
        QVERIFY(QString(poW->m_oSettings.SourceBaseName) == "sunset" &&
                oQImage(poW->m_poSourceImage) == oMakeTestPicture(256, 212));
        vRun("count 1;on SaveImage Copy;set ConversionType 3;settle");
        // A ZX Spectrum screen: all bitmap bits set; ink red in the top row of cells, blue below.
        oFile(sText + ".scr", QByteArray(6144, '\xFF') + QByteArray(32, 2) + QByteArray(736, 1));
        QVERIFY(sDrop(poW, nullptr, {sText + ".scr"}) == "11" &&
                oQImage(poW->m_poSourceImage).pixel(9, 0) == qRgb(0xD7, 0, 0) &&
                oQImage(poW->m_poSourceImage).pixel(9, 191) == qRgb(0, 0, 0xD7));
        // Paste; camera frames only while live, mirrored back.
        QApplication::clipboard()->setImage(oMakeTestPicture(64, 48));
        QTRY_VERIFY(poW->m_poPaste->isEnabled());
        // The keys work while a drop-down list has the focus.
        QComboBox* poCombo = po<QComboBox>("DitheringMode");
        poCombo->setFocus();
        QTest::keyClick(poCombo, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(poW->m_poFileActions->m_sImagePath == "PastedImage" &&
                poW->windowTitle() == "Pasted picture - QEVui 3.4" &&
                oQImage(poW->m_poSourceImage) == oMakeTestPicture(64, 48));
        vRun("status Pasted a picture (64 x 48);settle");
        QTest::keyClick(poCombo, Qt::Key_C, Qt::ControlModifier);
        vRun("status Copied the converted picture (256 x 212) to the clipboard");
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 oQImage(poW->m_poView->m_poConvertedImage));
        // Ctrl+O starts in the picture's folder with every readable type; the last five pictures are kept.
        const QString sOpened = sSaveThroughDialogs(
            poW, m_sPicture, [&]() { QTest::keyClick(poCombo, Qt::Key_O, Qt::ControlModifier); });
        QVERIFY2(sOpened.startsWith("Pictures (*.png *.jpg *.jpeg *.qev *.sr2 ") &&
                     sOpened.contains(" *.skc *.gif ") && sOpened.contains(" *.spu ") &&
                     sOpened.endsWith(";All files (*)|" + m_oFiles.path() + "|"),
                 qPrintable(sOpened));
        QVERIFY(poW->windowTitle() == "gradient.png - QEVui 3.4" &&
                poW->m_poFileActions->asRecentFiles() == QStringList({m_sPicture, sText + ".scr", sNamed}));
        QStringList asRecent;
        for (int i = 0; i < 6; i++)
        {
            asRecent.prepend(m_oFiles.filePath(QString("r%1.png").arg(i)));
            QVERIFY(oMakeTestPicture(8, 8).save(asRecent.first()) &&
                    poW->m_poFileActions->bLoadImageFiles({asRecent.first()}));
        }
        QVERIFY(poShow(QString(), true) && m_poW->m_poFileActions->asRecentFiles() == asRecent.mid(0, 5));
        poW = m_poW.get();
        poW->m_poCameraInput->imageCaptured(1, oMakeTestPicture(40, 30));
        poW->m_poCameraInput->m_bLive = true;
        poW->m_poCameraInput->imageCaptured(3, oMakeTestPicture(40, 30).mirrored(true, false));
        QVERIFY(poW->m_poFileActions->m_sImagePath == "CapturedImage" &&
                oQImage(poW->m_poSourceImage) == oMakeTestPicture(40, 30));
        poW->m_poCameraInput->m_bLive = false;

        QVERIFY(poW = poShow());
        QMimeData oEntry3, oText;
        oEntry3.setData("QEVuiColorButton", QByteArray(1, '\x03')), oText.setText("3");
        QCOMPARE(sDrop(poW->m_poPaletteEditor->m_apoColorButtons[12], &oText) +
                     sDrop(poW->m_poPaletteEditor->m_apoColorButtons[12], &oEntry3),
                 "0011");
        vRun("select 5;swap 12 40;levels 000000252141225437521267632743662664363535666777");
        QTest::mouseClick(poW->m_poPaletteEditor->m_apoColorButtons[9], Qt::LeftButton);
        vRun("paint;on R G B;shown R 7/7;shown G 4/4;shown B 3/3");
        QVERIFY(poW->m_poPaletteEditor->m_apoColorButtons[9]->m_bSelected &&
                !poW->m_poPaletteEditor->m_apoColorButtons[5]->m_bSelected);
        // The keyboard reaches the entries: arrows move in the two rows of eight, Space selects.
        poW->m_poPaletteEditor->m_apoColorButtons[9]->setFocus();
        for (Qt::Key eKey : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Up, Qt::Key_Left, Qt::Key_Space})
            QTest::keyClick(QApplication::focusWidget(), eKey);
        QVERIFY(poW->m_poPaletteEditor->m_apoColorButtons[1]->hasFocus() &&
                poW->m_oSettings.SelectedColor == 1);
        vRun("select 15;set R 6"); // level 6 is byte 219 (255 / 7 per level, rounded)
        QCOMPARE(poW->m_oSettings.CustomPalette[15].r, 219);
        // Right clicks beside a wide picture, on the checkerboard, then in the picture: without a selection
        // the nearest entry is selected (black: 0 and 1 tie, the lower wins), then it takes the colour of the
        // source picture under the mouse, in the converted view and in the Original view; off the picture it
        // keeps its colour. The 400 x 100 picture is fitted 2.56 times into 1024 x 768 from y 256: display
        // (700, 384) is its pixel (273, 50), (100, 300) its (39, 17).
        QVERIFY(oMakeTestPicture(400, 100).save(m_oFiles.filePath("w.png"), "PNG") &&
                (poW = poShow(m_oFiles.filePath("w.png"))) &&
                poW->m_poView->m_poRenderArea->size() == QSize(1024, 768));
        auto sPickAt = [&](const QPoint& oAt)
        {
            QTest::mouseClick(poW, Qt::RightButton, {}, oAt + poW->m_poView->m_poRenderArea->pos());
            const Color o = poW->m_oSettings.CustomPalette[0];
            return QString("%1 %2 %3").arg(o.r).arg(o.g).arg(o.b);
        };
        QCOMPARE(sPickAt(QPoint(513, 0)), "0 0 0");
        QCOMPARE(sPickAt(QPoint(700, 384)), QString("17 50 %1").arg((50 * 400 + 273) * 7 % 256));
        QVERIFY(poW->m_oSettings.SelectedColor == 0 &&
                poW->m_poPaletteEditor->m_apoColorButtons[0]->m_oColor.g == 50);
        // Through Screen 5's fit (wider pixels) the point lands within a pixel of the same place.
        vRun("set ConversionType 3;set ScreenMode 2;settle");
        const QString sPicked = sPickAt(QPoint(700, 384));
        QVERIFY2(sPicked == QString("17 50 %1").arg((50 * 400 + 273) * 7 % 256) ||
                     sPicked == QString("17 49 %1").arg((49 * 400 + 273) * 7 % 256),
                 qPrintable(sPicked));
        poW->m_poView->vSetShowOriginal(true);
        QCOMPARE(sPickAt(QPoint(100, 300)), QString("39 17 %1").arg((17 * 400 + 39) * 7 % 256));
        QCOMPARE(sPickAt(QPoint(100, 100)), QString("39 17 %1").arg((17 * 400 + 39) * 7 % 256));
        vRun("status Right-click on the picture itself to take its colour");
        poW->m_poView->vSetShowOriginal(false);
        // "Get from image" with palette type Custom takes the palette Auto builds.
        vRun(
            "set PaletteType 1;click GetFromImage;status The custom palette is now the one palette type Auto "
            "builds for the picture (Ctrl+Z undoes)");
        Palette oAuto;
        tdSettings oAutoSettings = poW->m_oSettings;
        oAutoSettings.PaletteType = PaletteType_Auto;
        oWriteImageToKRUFile(poW->m_poSourceImage, &oAutoSettings, nullptr, nullptr, &oAuto,
                             CompressionType_None);
        QCOMPARE(sLevels(poW->m_oSettings.CustomPalette), sLevels(oAuto.m_aoColors));

        // A zoomed view larger than the display scrolls: scroll bars, arrows, the middle button.
        vRun("set ScreenMode 4;settle;set Zoom 3;paint"); // Screen 7: 512 x 212
        QScrollBar *poH = po<QScrollBar>("HorizontalPan"), *poV = po<QScrollBar>("VerticalPan");
        QVERIFY(poH->isVisible() && !poV->isVisible() && poH->value() == 0 &&
                poH->maximum() == 512 * 3 - 1024);
        const QImage oLeft = *poW->m_poView->m_poDisplayedImage;
        poW->setFocus();
        QTest::keyClick(poW, Qt::Key_Right);
        QTest::mousePress(poW, Qt::MiddleButton, {}, QPoint(600, 300) + poW->m_poView->m_poRenderArea->pos());
        QTest::mouseMove(poW, QPoint(500, 300) + poW->m_poView->m_poRenderArea->pos());
        QTest::mouseRelease(poW, Qt::MiddleButton, {},
                            QPoint(500, 300) + poW->m_poView->m_poRenderArea->pos());
        QVERIFY2(poH->value() == 16 + 100 && *poW->m_poView->m_poDisplayedImage != oLeft,
                 qPrintable(QString::number(poH->value())));
        // Space + drag scrolls too, showing the converted picture meanwhile.
        QTest::keyPress(poW, Qt::Key_Space);
        QTest::mousePress(poW, Qt::LeftButton, {}, QPoint(600, 300) + poW->m_poView->m_poRenderArea->pos());
        QTest::mouseMove(poW, QPoint(650, 300) + poW->m_poView->m_poRenderArea->pos());
        QTest::mouseRelease(poW, Qt::LeftButton, {}, QPoint(650, 300) + poW->m_poView->m_poRenderArea->pos());
        QVERIFY(poH->value() == 16 + 100 - 50 && !poW->m_poView->m_bShowOriginal);
        QTest::keyRelease(poW, Qt::Key_Space);
        vRun("set Zoom 0;paint");
        QVERIFY(!poH->isVisible());

        // Saving. Rows: type, screen, interlaced | dialog filter | files written for "p". Through the
        // dialogs: the next starts beside the last save; a failed save (writes refused past a size limit)
        // keeps the old file and shows a warning.
        QVERIFY(poW = poShow());
        QTemporaryDir oFolder;
        const QString sOut = oFolder.filePath("out"), sFolder = QDir(oFolder.path()).absolutePath();
        QVERIFY(poW && !poW->m_poFileActions->bSaveImageAs(sOut) && QDir(sFolder).isEmpty() &&
                poW->m_poFileActions->bLoadImageFiles({m_sPicture}));
        const QString sSaves =
            "0 7 1|PNG file (*.png)|p.png;1 2 0|QEV file (*.qev)|p.qev;2 2 0|SR5 file (*.sr5)|p.pl5 p.sr5;"
            "2 2 1|SI5 file (*.si5)|p.pi5 p.si5 p.sj5;3 7 1|SKc file (*.skc)|p.skc p.slc;"
            "3 6 0|SCa file (*.sca)|p.sca;3 1 1|SC3 file (*.sc3)|p.sc3;2 0 1|SR2 file (*.sr2)|p.pl2 p.sr2;"
            "4 5 0|SPR file (*.spr)|p.spr;6 3 1|KRU file (*.kru)|p.kru;7 4 0|RES file (*.res)|p.res;"
            "5 5 0|RAW file (*.raw)|p.raw";
        for (const QString& sRow : sSaves.split(';'))
        {
            QTemporaryDir oRow;
            vRun("fields " + sRow.left(3) + " 0 0 0 1 -1");
            poW->m_oSettings.InterlacedMode = static_cast<unsigned char>(sRow[4].digitValue());
            QVERIFY2(poW->m_poFileActions->oGetExtension() == sRow.section('|', 1, 1) &&
                         poW->m_poFileActions->bSaveImageAs(oRow.filePath("p")) &&
                         QDir(oRow.path()).entryList(QDir::Files).join(' ') == sRow.section('|', 2) &&
                         poW->m_poFileActions->m_sImagePath == QDir(oRow.path()).absolutePath() + "/p" &&
                         sSorted(poW->m_poStatusLine->text()) ==
                             sSorted("Saved " + QString(sRow.section('|', 2)).replace(' ', ", ") + " in " +
                                     QDir(oRow.path()).absolutePath()),
                     qPrintable(sRow + ": " + poW->m_poStatusLine->text()));
            // The bytes are those the writer produces on this thread (RAW needs a stream of its own).
            QTemporaryDir oDirect;
            tdOutputFiles oFiles;
            oWriteImageToFile(poW->m_poSourceImage, QFile::encodeName(oDirect.filePath("p")).constData(),
                              &poW->m_oSettings, &oFiles, nullptr);
            QVERIFY(sRow.startsWith("5 ") || bCommitOutputFiles(&oFiles, nullptr));
            for (const QString& sName : QDir(oDirect.path()).entryList(QDir::Files))
                QVERIFY2(oFile(oDirect.filePath(sName)) == oFile(oRow.filePath(sName)), qPrintable(sName));
            // A screen dump read without a companion file says so.
            if (!sRow.startsWith("2 2 ")) continue;
            const QString sDump = oRow.filePath(sRow[4] == '0' ? "p.sr5" : "p.si5"),
                          sGone = oRow.filePath(sRow[4] == '0' ? "p.pl5" : "p.sj5");
            QVERIFY(QFile::remove(sGone) && poW->m_poFileActions->bLoadImageFiles({sDump}));
            QCOMPARE(poW->m_poStatusLine->text(),
                     sRow[4] == '0'
                         ? "Opened p.sr5: no palette file p.pl5 beside it: the standard palette is used"
                         : "Opened p.si5: no second page p.sj5 beside it: only the first page is shown");
        }
        vRun("set ConversionType 3;set ScreenMode 5");
        QCOMPARE(sSaveThroughDialogs(poW, sOut).section('|', 0, 0), "SC8 file (*.sc8)");
        QVERIFY(QFileInfo(sOut + ".sc8").size() > 6000 &&
                poW->m_poFileActions->m_sImagePath == sFolder + "/out");
        QCOMPARE(oFile(sOut + ".sc8", "old picture"), "old picture");
        struct rlimit oLimit, oSmall;
        QVERIFY(getrlimit(RLIMIT_FSIZE, &oLimit) == 0 && signal(SIGXFSZ, SIG_IGN) != SIG_ERR);
        oSmall = oLimit, oSmall.rlim_cur = 1000;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &oSmall) == 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Picture not saved: "));
        const QString sSeen = sSaveThroughDialogs(poW, sOut + ".sc8", {}, true);
        setrlimit(RLIMIT_FSIZE, &oLimit);
        QCOMPARE(sSeen,
                 QString("SC8 file (*.sc8)|%1|out|out.sc8 exists. Replace it?|Picture not saved: could not "
                         "write %2.sc8.")
                     .arg(sFolder, sOut));
        QVERIFY(oFile(sOut + ".sc8") == "old picture" &&
                QDir(sFolder).entryList(QDir::Files).join(' ') == "out.sc8");
        // An old file whose temporary sibling cannot be named (too long) is no success.
        const QString sLong = oFolder.filePath(QString(240, 'n'));
        QCOMPARE(oFile(sLong + ".sc8", "old picture"), "old picture");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Picture not saved: "));
        QVERIFY(!poW->m_poFileActions->bSaveImageAs(sLong) && oFile(sLong + ".sc8") == "old picture");

        // Saving over the opened picture asks first (answered No: kept). After a paste the dialog starts in
        // the last folder saved to.
        const QByteArray oSource = oFile(m_sPicture);
        QVERIFY(poW->m_poFileActions->bLoadImageFiles({m_sPicture}));
        vRun("set ConversionType 0;settle");
        QCOMPARE(sSaveThroughDialogs(poW, m_oFiles.filePath("gradient")).section('|', 3),
                 "gradient.png is the picture you opened. Replace it with the converted picture?");
        vRun("status Not saved: gradient.png is kept");
        QVERIFY(oFile(m_sPicture) == oSource);
        QApplication::clipboard()->setImage(oMakeTestPicture(64, 48));
        QTRY_VERIFY(poW->m_poPaste->isEnabled());
        poW->Paste();
        QCOMPARE(sSaveThroughDialogs(poW, sFolder + "/pasted").section('|', 1, 2), sFolder + "|PastedImage");
        // A palette saved as "mine" is mine.gpl, which Load proposes and the command line names until a
        // colour changes.
        poW->m_poPaletteEditor->vSavePaletteTo(oFolder.filePath("mine"));
        vRun("status Saved the palette as " + sFolder +
             "/mine.gpl;set ConversionType 3;set ScreenMode 2;set "
             "PaletteType 1;paint;shown CommandLine qev <input_file> -ct3 -pt1 -sm2 -dim0 --palette=" +
             sFolder +
             "/mine.gpl -of<output_file>;select 3;set R 1;paint;shown CommandLine qev <input_file> -ct3 -pt1 "
             "-sm2 "
             "-dim0 --palette=<palette_file> -of<output_file>");
        QCOMPARE(
            sSaveThroughDialogs(poW, sFolder + "/mine.gpl", [&]() { poW->m_poPaletteEditor->LoadPalette(); })
                .section('|', 1, 2),
            sFolder + "|mine.gpl");
    }
};

QTEST_MAIN(TestApp)
#include "test_app.moc"
