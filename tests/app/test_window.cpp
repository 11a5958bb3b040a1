// The main window: start-up state, change detection and the preview timer, the
// enabling rules, the Bayer threshold clamp, line-edit validation, reset, and the
// settings written when the window closes.

#include "app_test_util.h"
#include "window.h"

#include "qev/base/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>

class TestWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_oStoreFolder;
    QTemporaryDir m_oFiles;
    QString m_sPicture;
    std::unique_ptr<Window> m_poWindow;

    Window* poShowWindow() { return poShowNewWindow(&m_poWindow); }

    // A window showing the test picture, converted once.
    Window* poWindowWithPicture() { return poShowNewWindowWith(&m_poWindow, m_sPicture); }

    // Changes a combo box as the user would and lets the window paint.
    void vChoose(QComboBox* poCombo, int iIndex)
    {
        poCombo->setCurrentIndex(iIndex);
        vWaitForPaint(m_poWindow.get());
    }

    // Types text into a line edit and presses Return.
    static void vType(QLineEdit* poEdit, const QString& sText)
    {
        poEdit->setFocus();
        poEdit->selectAll();
        poEdit->setText(sText);
        QTest::keyClick(poEdit, Qt::Key_Return);
    }

private slots:
    void initTestCase()
    {
        vUseTemporarySettingsStore(m_oStoreFolder.path());
        m_sPicture = sWriteTestPNG(m_oFiles.path(), QStringLiteral("gradient.png"), 160, 120);
        QVERIFY(!m_sPicture.isEmpty());
    }

    void init() { vClearSettingsStore(); }

    void cleanup() { m_poWindow.reset(); }

    void startUpShowsTheDefaults()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QCOMPARE(poWindow->windowTitle(), QStringLiteral("QEVui 3.4"));
        QCOMPARE(poWindow->size(), QSize(1648, 768));
        QCOMPARE(poWindow->minimumSize(), QSize(1648, 768));
        QCOMPARE(poWindow->maximumSize(), QSize(1648, 768));
        QCOMPARE(poWindow->m_poRenderArea->geometry(), QRect(0, 0, 1024, 768));
        QCOMPARE(poWindow->m_oDefaultImage.size(), QSize(1024, 768));
        QCOMPARE(poWindow->m_oHourGlassImage.size(), QSize(310, 232));

        // Defaults of the settings store's key table, as the controls show them.
        QCOMPARE(poWindow->m_poScreenMode->currentText(), QStringLiteral("Screen 8"));
        QCOMPARE(poWindow->m_poConversionType->currentText(), QStringLiteral("PNG"));
        QCOMPARE(poWindow->m_poFitMode->currentText(), QStringLiteral("Fit"));
        QCOMPARE(poWindow->m_poOutputSizeType->currentText(), QStringLiteral("Original"));
        QCOMPARE(poWindow->m_poRGB2YJKMethod->currentText(), QStringLiteral("Area search"));
        QCOMPARE(poWindow->m_poDitheringMode->currentText(), QStringLiteral("Error diffusion"));
        QCOMPARE(poWindow->m_poErrorDiffusionFactor->value(), 800);
        QCOMPARE(poWindow->findChild<QLabel*>(QStringLiteral("ErrorDiffusionFactorValue"))->text(),
                 QStringLiteral("0.800"));
        QCOMPARE(poWindow->m_poBayerFactor->value(), 100);
        QCOMPARE(poWindow->m_poBayerHighThreshold->value(), 1000);
        QCOMPARE(poWindow->m_poBrightnessWeight->value(), 1000);
        QCOMPARE(poWindow->m_poOutputWidth->text(), QStringLiteral("256"));
        QCOMPARE(poWindow->m_poOutputHeight->text(), QStringLiteral("212"));
        QCOMPARE(poWindow->m_poCustomInputAspectRatio->text(), QStringLiteral("1.000"));
        QCOMPARE(poWindow->m_poAverageErrorRGB->text(), QStringLiteral("0.000"));
        QCOMPARE(poWindow->m_oSettings.SelectedColor, -1);
        QVERIFY(memcmp(poWindow->m_oSettings.CustomPalette, g_aoMSX1Palette, sizeof(g_aoMSX1Palette)) == 0);

        // Nothing to convert: the start-up picture, no conversion.
        QTest::qWait(Window::g_iPreviewDelay + 100);
        QCOMPARE(poWindow->m_iConversionCount, 0);
        QVERIFY(!poWindow->m_poDisplayedImage);
        QVERIFY(!poWindow->m_bConversionPending);
    }

    void controlsCarryTheirItemsAndTooltips()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QComboBox* poScreen = poWindow->m_poScreenMode;
        QCOMPARE(poScreen->count(), 8);
        QCOMPARE(poScreen->itemText(6), QStringLiteral("Screen 10"));
        QCOMPARE(poWindow->m_poInputAspectRatioType->itemText(8), QStringLiteral("50Hz HR"));
        QCOMPARE(poWindow->m_poOutputSizeType->itemText(7), QStringLiteral("1024x768"));
        QCOMPARE(poScreen->toolTip().split(QLatin1Char('\n')).size(), 8);
        QVERIFY(poScreen->toolTip().startsWith(QStringLiteral("Screen  2 : 256x192, 16 palette colors\n")));
        QVERIFY(poScreen->toolTip().endsWith(QStringLiteral("\nScreen 12 : 256x212, 19268 YJK colors")));
        QCOMPARE(poWindow->m_poRGB2YJKMethod->toolTip(),
                 QStringLiteral("Quality of RGB to YJK conversion.\nWarning: Brute force is slow!"));
        QCOMPARE(poWindow->m_poCommandLine->toolTip(),
                 QStringLiteral("Command line equivalent of the current settings."));
        // Every named control exists under its object name.
        for (const char* pszName : {"renderArea",
                                    "color0",
                                    "color15",
                                    "R",
                                    "G",
                                    "B",
                                    "GetFromImage",
                                    "LoadPalette",
                                    "SavePalette",
                                    "OutputSizeType",
                                    "OutputWidth",
                                    "OutputHeight",
                                    "InterlacedMode",
                                    "Screen10Palette",
                                    "HorizontalShift",
                                    "BayerHighThreshold",
                                    "AverageErrorRGB",
                                    "ResetToDefaults",
                                    "CommandLine",
                                    "Copy",
                                    "Paste",
                                    "About",
                                    "CaptureFromCamera",
                                    "SaveImage"})
            QVERIFY2(poWindow->findChild<QWidget*>(QLatin1String(pszName)), pszName);
        for (int i = 0; i < 16; i++)
        {
            QCOMPARE(poWindow->m_apoColorButtons[i]->m_iIndex, i);
            QCOMPARE(poWindow->m_apoColorButtons[i]->size(), QSize(25, 25));
        }
    }

    void aBurstOfChangesConvertsOnce()
    {
        Window* poWindow = poWindowWithPicture();
        QVERIFY(poWindow);
        QCOMPARE(poWindow->m_iConversionCount, 1);
        QVERIFY(poWindow->m_poDisplayedImage);
        const int iBefore = poWindow->m_iConversionCount;
        // Five slider moves, 10 ms apart: far less than the 250 ms wait. Each one
        // restarts the wait.
        QElapsedTimer oClock;
        oClock.start();
        for (int i = 1; i <= 5; i++)
        {
            poWindow->m_poPaletteDetailsEnhancement->setValue(1000 + 500 * i);
            vWaitForPaint(poWindow);
            QVERIFY(poWindow->m_bConversionPending);
            QVERIFY(poWindow->m_poPreviewTimer->isActive());
            QTest::qWait(10);
        }
        // (A machine too busy to make five changes within the wait may convert
        // in between; the count then proves nothing.)
        const bool bInTime = oClock.elapsed() < Window::g_iPreviewDelay - 50;
        if (bInTime) QCOMPARE(poWindow->m_iConversionCount, iBefore);
        // The hourglass stands over the previous result meanwhile.
        QVERIFY(poWindow->m_poDisplayedImage);
        QTRY_VERIFY_WITH_TIMEOUT(!poWindow->m_bConversionPending, 3000);
        QTest::qWait(Window::g_iPreviewDelay + 150);
        if (bInTime) QCOMPARE(poWindow->m_iConversionCount, iBefore + 1);
        QVERIFY(poWindow->m_iConversionCount > iBefore);
        QCOMPARE(poWindow->m_oSettings.PaletteDetailsEnhancement, 3.5);
    }

    void switchingAmongMSXTypesDoesNotReconvert()
    {
        Window* poWindow = poWindowWithPicture();
        QVERIFY(poWindow);
        vChoose(poWindow->m_poConversionType, ConversionType_SC);
        QTRY_VERIFY_WITH_TIMEOUT(!poWindow->m_bConversionPending, 3000);
        const int iAfterSC = poWindow->m_iConversionCount;
        const QString sErrorAfterSC = poWindow->m_poAverageErrorRGB->text();
        QVERIFY(sErrorAfterSC != QStringLiteral("0.000"));

        for (int eType : {ConversionType_KRU, ConversionType_SR, ConversionType_QEV, ConversionType_RAW,
                          ConversionType_RES, ConversionType_SPR})
        {
            vChoose(poWindow->m_poConversionType, eType);
            QVERIFY(!poWindow->m_bConversionPending);
        }
        QTest::qWait(Window::g_iPreviewDelay + 150);
        QCOMPARE(poWindow->m_iConversionCount, iAfterSC);

        // To PNG: one conversion by the PNG writer; the error labels keep their values.
        vChoose(poWindow->m_poConversionType, ConversionType_PNG);
        QVERIFY(poWindow->m_bConversionPending);
        QTRY_COMPARE_WITH_TIMEOUT(poWindow->m_iConversionCount, iAfterSC + 1, 3000);
        QCOMPARE(poWindow->m_poAverageErrorRGB->text(), sErrorAfterSC);
        // The PNG writer keeps the picture's own size with "Original".
        QCOMPARE(poWindow->m_poConvertedImage->m_iWidth, 160);
        QCOMPARE(poWindow->m_poConvertedImage->m_iHeight, 120);
    }

    void changesThatCannotAlterThePictureDoNotReconvert()
    {
        Window* poWindow = poWindowWithPicture();
        QVERIFY(poWindow);
        vChoose(poWindow->m_poConversionType, ConversionType_SC); // Screen 8: no palette in use
        QTRY_VERIFY_WITH_TIMEOUT(!poWindow->m_bConversionPending, 3000);
        const int iCount = poWindow->m_iConversionCount;
        poWindow->vColorButtonClicked(4);
        vWaitForPaint(poWindow);
        QVERIFY(poWindow->m_apoColorButtons[4]->m_bSelected);
        poWindow->m_poG->setValue(1);
        vWaitForPaint(poWindow);
        poWindow->vColorButtonDragAndDropped(1, 2);
        vWaitForPaint(poWindow);
        QVERIFY(!poWindow->m_bConversionPending);
        QTest::qWait(Window::g_iPreviewDelay + 150);
        QCOMPARE(poWindow->m_iConversionCount, iCount);

        // With a palette in use (Screen 5) the same edit reconverts.
        vChoose(poWindow->m_poScreenMode, ScreenMode_Screen5);
        QTRY_COMPARE_WITH_TIMEOUT(poWindow->m_iConversionCount, iCount + 1, 3000);
        poWindow->m_poG->setValue(5);
        vWaitForPaint(poWindow);
        QVERIFY(poWindow->m_bConversionPending);
        QTRY_COMPARE_WITH_TIMEOUT(poWindow->m_iConversionCount, iCount + 2, 3000);
    }

    // Which controls are enabled, for hand-picked settings. Columns: conversion
    // type, screen, dithering, palette type, delta method, output size type,
    // selected entry, then the expected states.
    void enablingRules_data()
    {
        QTest::addColumn<int>("eType");
        QTest::addColumn<int>("eScreen");
        QTest::addColumn<int>("eDither");
        QTest::addColumn<int>("ePalette");
        QTest::addColumn<int>("eDelta");
        QTest::addColumn<int>("eSize");
        QTest::addColumn<int>("iSelected");
        QTest::addColumn<QStringList>("asEnabled");
        QTest::addColumn<QStringList>("asDisabled");
        QTest::newRow("PNG original") << 0 << 5 << 1 << 0 << 0 << 1 << -1
                                      << QStringList{"OutputSizeType", "OutputSizeLabel", "LoadPalette"}
                                      << QStringList{"ScreenMode",
                                                     "ScreenModeLabel",
                                                     "DitheringMode",
                                                     "ErrorDiffusionFactor",
                                                     "BayerFactor",
                                                     "OutputWidth",
                                                     "FitMode",
                                                     "FitModeLabel",
                                                     "AverageErrorRGB",
                                                     "AverageErrorHeading",
                                                     "HorizontalShift",
                                                     "DeltaMethod",
                                                     "InterlacedMode",
                                                     "PaletteType",
                                                     "GetFromImage",
                                                     "R",
                                                     "RValue",
                                                     "RLabel",
                                                     "BrightnessWeight",
                                                     "Screen10Palette",
                                                     "RGB2YJKMethod",
                                                     "SaveImage",
                                                     "Copy"};
        QTest::newRow("PNG custom size")
            << 0 << 5 << 1 << 0 << 0 << 0 << -1 << QStringList{"OutputWidth", "OutputHeight", "FitMode"}
            << QStringList{"ScreenMode"};
        QTest::newRow("SC screen 8 diffusion")
            << 3 << 5 << 1 << 0 << 0 << 1 << -1 << QStringList{"ScreenMode",
                                                               "DitheringMode",
                                                               "ErrorDiffusionFactor",
                                                               "ErrorDiffusionFactorValue",
                                                               "FitMode",
                                                               "AverageErrorR",
                                                               "AverageErrorRGBLabel",
                                                               "AverageErrorHeading",
                                                               "HorizontalShift",
                                                               "DeltaMethod",
                                                               "InterlacedMode"}
            << QStringList{"BayerFactor",
                           "BayerLowThreshold",
                           "BayerHighThresholdValue",
                           "OutputSizeType",
                           "OutputWidth",
                           "PaletteType",
                           "PaletteDetailsEnhancement",
                           "Screen2DetailsEnhancement",
                           "YJKDetailsEnhancement",
                           "RGB2YJKMethod",
                           "Screen10Palette"};
        QTest::newRow("KRU screen 2 Bayer auto palette")
            << 6 << 0 << 3 << 0 << 4 << 1 << 3
            << QStringList{"BayerFactor",
                           "BayerLowThreshold",
                           "BayerHighThreshold",
                           "BayerFactorLabel",
                           "Screen2DetailsEnhancement",
                           "PaletteType",
                           "GetFromImage",
                           "PaletteDetailsEnhancement",
                           "BrightnessWeight",
                           "R",
                           "G",
                           "B",
                           "GValue"}
            << QStringList{"ErrorDiffusionFactor", "InterlacedMode", "YJKDetailsEnhancement",
                           "RGB2YJKMethod"};
        QTest::newRow("SR screen 10 custom palette")
            << 2 << 6 << 0 << 1 << 0 << 1 << -1
            << QStringList{"Screen10Palette", "YJKDetailsEnhancement", "RGB2YJKMethod", "RGB2YJKMethodLabel",
                           "InterlacedMode"}
            << QStringList{"PaletteType", "GetFromImage", "ErrorDiffusionFactor", "BayerFactor",
                           "Screen2DetailsEnhancement"};
        QTest::newRow("RES screen 12")
            << 7 << 7 << 1 << 0 << 0 << 1 << -1 << QStringList{"RGB2YJKMethod", "OutputSizeType"}
            << QStringList{"ScreenMode",    "YJKDetailsEnhancement", "InterlacedMode",
                           "AverageErrorB", "Screen10Palette",       "FitMode"};
        QTest::newRow("QEV screen 3 MSX1 palette")
            << 1 << 1 << 2 << 2 << 0 << 1 << -1 << QStringList{"PaletteType", "GetFromImage", "BayerFactor"}
            << QStringList{"PaletteDetailsEnhancement", "InterlacedMode", "Screen2DetailsEnhancement"};
    }

    void enablingRules()
    {
        QFETCH(int, eType);
        QFETCH(int, eScreen);
        QFETCH(int, eDither);
        QFETCH(int, ePalette);
        QFETCH(int, eDelta);
        QFETCH(int, eSize);
        QFETCH(int, iSelected);
        QFETCH(QStringList, asEnabled);
        QFETCH(QStringList, asDisabled);
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        poWindow->m_oSettings.ConversionType = static_cast<tdConversionType>(eType);
        poWindow->m_oSettings.ScreenMode = static_cast<tdScreenMode>(eScreen);
        poWindow->m_oSettings.DitheringMode = static_cast<tdDitheringMode>(eDither);
        poWindow->m_oSettings.PaletteType = static_cast<tdPaletteType>(ePalette);
        poWindow->m_oSettings.DeltaMethod = static_cast<tdDeltaMethod>(eDelta);
        poWindow->m_oSettings.OutputSizeType = static_cast<tdOutputSizeType>(eSize);
        poWindow->m_oSettings.SelectedColor = iSelected;
        vWaitForPaint(poWindow);
        for (const QString& sName : asEnabled)
        {
            QWidget* poWidget = poWindow->findChild<QWidget*>(sName);
            QVERIFY2(poWidget, qPrintable(sName));
            QVERIFY2(poWidget->isEnabled(), qPrintable(sName + QStringLiteral(" should be enabled")));
        }
        for (const QString& sName : asDisabled)
        {
            QWidget* poWidget = poWindow->findChild<QWidget*>(sName);
            QVERIFY2(poWidget, qPrintable(sName));
            QVERIFY2(!poWidget->isEnabled(), qPrintable(sName + QStringLiteral(" should be disabled")));
        }
    }

    void customAspectRatioBecomesEditableAtOnce()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QVERIFY(!poWindow->m_poCustomInputAspectRatio->isEnabled());
        vChoose(poWindow->m_poInputAspectRatioType, AspectRatio_Custom);
        QVERIFY(poWindow->m_poCustomInputAspectRatio->isEnabled());
        QVERIFY(!poWindow->m_poCustomOutputAspectRatio->isEnabled());
    }

    void bayerLowNeverExceedsHigh()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        poWindow->m_poBayerLowThreshold->setValue(500);
        QCOMPARE(poWindow->m_oSettings.BayerLowThreshold, 0.5);
        // High moved below low snaps back to the low value.
        poWindow->m_poBayerHighThreshold->setValue(300);
        QCOMPARE(poWindow->m_poBayerHighThreshold->value(), 500);
        QCOMPARE(poWindow->m_oSettings.BayerHighThreshold, 0.5);
        QCOMPARE(poWindow->findChild<QLabel*>(QStringLiteral("BayerHighThresholdValue"))->text(),
                 QStringLiteral("0.500"));
        // Low moved above high snaps back to the high value.
        poWindow->m_poBayerHighThreshold->setValue(600);
        poWindow->m_poBayerLowThreshold->setValue(900);
        QCOMPARE(poWindow->m_poBayerLowThreshold->value(), 600);
        QCOMPARE(poWindow->m_oSettings.BayerLowThreshold, 0.6);
        QCOMPARE(poWindow->m_oSettings.BayerHighThreshold, 0.6);
        QVERIFY(poWindow->m_oSettings.BayerLowThreshold <= poWindow->m_oSettings.BayerHighThreshold);
    }

    void lineEditsRefuseInvalidText_data()
    {
        QTest::addColumn<QString>("sEdit");
        QTest::addColumn<QString>("sText");
        QTest::addColumn<bool>("bAccepted");
        for (const char* pszEdit : {"OutputWidth", "OutputHeight"})
        {
            const QString sEdit = QLatin1String(pszEdit);
            QTest::newRow(qPrintable(sEdit + " zero")) << sEdit << "0" << false;
            QTest::newRow(qPrintable(sEdit + " negative")) << sEdit << "-16" << false;
            QTest::newRow(qPrintable(sEdit + " text")) << sEdit << "wide" << false;
            QTest::newRow(qPrintable(sEdit + " empty")) << sEdit << "" << false;
            QTest::newRow(qPrintable(sEdit + " fraction")) << sEdit << "12.5" << false;
            QTest::newRow(qPrintable(sEdit + " trailing")) << sEdit << "320px" << false;
            QTest::newRow(qPrintable(sEdit + " huge")) << sEdit << "100000" << false;
            QTest::newRow(qPrintable(sEdit + " beyond 32 bits")) << sEdit << "4294967616" << false;
            QTest::newRow(qPrintable(sEdit + " ok")) << sEdit << "320" << true;
        }
        for (const char* pszEdit : {"CustomInputAspectRatio", "CustomOutputAspectRatio"})
        {
            const QString sEdit = QLatin1String(pszEdit);
            QTest::newRow(qPrintable(sEdit + " zero")) << sEdit << "0" << false;
            QTest::newRow(qPrintable(sEdit + " negative")) << sEdit << "-1.5" << false;
            QTest::newRow(qPrintable(sEdit + " text")) << sEdit << "square" << false;
            QTest::newRow(qPrintable(sEdit + " nan")) << sEdit << "nan" << false;
            QTest::newRow(qPrintable(sEdit + " inf")) << sEdit << "inf" << false;
            QTest::newRow(qPrintable(sEdit + " huge")) << sEdit << "1e300" << false;
            QTest::newRow(qPrintable(sEdit + " tiny")) << sEdit << "1e-300" << false;
            QTest::newRow(qPrintable(sEdit + " comma")) << sEdit << "1,25" << false;
            QTest::newRow(qPrintable(sEdit + " ok")) << sEdit << "1.25" << true;
        }
    }

    void lineEditsRefuseInvalidText()
    {
        QFETCH(QString, sEdit);
        QFETCH(QString, sText);
        QFETCH(bool, bAccepted);
        Window* poWindow = poWindowWithPicture();
        QVERIFY(poWindow);
        // Custom size and aspect ratios make every edit take part in the conversion.
        vChoose(poWindow->m_poOutputSizeType, OutputSize_Custom);
        vChoose(poWindow->m_poInputAspectRatioType, AspectRatio_Custom);
        vChoose(poWindow->m_poOutputAspectRatioType, AspectRatio_Custom);
        QTRY_VERIFY_WITH_TIMEOUT(!poWindow->m_bConversionPending, 3000);
        const int iCount = poWindow->m_iConversionCount;
        tdSettings oBefore;
        memcpy(&oBefore, &poWindow->m_oSettings, sizeof(tdSettings));
        QLineEdit* poEdit = poWindow->findChild<QLineEdit*>(sEdit);
        QVERIFY(poEdit);
        const QString sShown = poEdit->text();
        vType(poEdit, sText);
        vWaitForPaint(poWindow);
        if (!bAccepted)
        {
            QVERIFY(memcmp(&oBefore, &poWindow->m_oSettings, sizeof(tdSettings)) == 0);
            QCOMPARE(poEdit->text(), sShown);
            QVERIFY(!poWindow->m_bConversionPending);
            QTest::qWait(Window::g_iPreviewDelay + 100);
            QCOMPARE(poWindow->m_iConversionCount, iCount);
            return;
        }
        QVERIFY(memcmp(&oBefore, &poWindow->m_oSettings, sizeof(tdSettings)) != 0);
        QTRY_COMPARE_WITH_TIMEOUT(poWindow->m_iConversionCount, iCount + 1, 3000);
        if (sEdit == QLatin1String("OutputWidth")) QCOMPARE(poWindow->m_poConvertedImage->m_iWidth, 320);
    }

    // Leaving an edit that still shows the field's value keeps the field exact.
    void leavingAnEditKeepsAPreciseValue()
    {
        vClearSettingsStore();
        {
            QSettings oStore;
            oStore.setValue(QStringLiteral("QEV/CustomInputAspectRatio"), 1.23456);
            oStore.setValue(QStringLiteral("QEV/InputAspectRatioType"), 1);
        }
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        QCOMPARE(poWindow->m_poCustomInputAspectRatio->text(), QStringLiteral("1.235"));
        poWindow->m_poCustomInputAspectRatio->setFocus();
        QTest::keyClick(poWindow->m_poCustomInputAspectRatio, Qt::Key_Return);
        QCOMPARE(poWindow->m_oSettings.CustomInputAspectRatio, 1.23456);
    }

    void resetRestoresEverythingAndReconverts()
    {
        Window* poWindow = poWindowWithPicture();
        QVERIFY(poWindow);
        vChoose(poWindow->m_poConversionType, ConversionType_SC);
        vChoose(poWindow->m_poScreenMode, ScreenMode_Screen5);
        poWindow->m_poHorizontalShift->setValue(3);
        poWindow->vColorButtonClicked(2);
        poWindow->vColorButtonDragAndDropped(0, 15);
        vWaitForPaint(poWindow);
        QTRY_VERIFY_WITH_TIMEOUT(!poWindow->m_bConversionPending, 3000);
        const int iCount = poWindow->m_iConversionCount;

        QTest::mouseClick(poWindow->m_poResetToDefaults, Qt::LeftButton);
        vWaitForPaint(poWindow);
        QVERIFY(poWindow->m_bConversionPending);
        tdSettings oDefaults;
        vGetDefaultSettings(&oDefaults);
        QVERIFY(memcmp(&oDefaults, &poWindow->m_oSettings, sizeof(tdSettings)) == 0);
        QCOMPARE(poWindow->m_poScreenMode->currentIndex(), static_cast<int>(ScreenMode_Screen8));
        QCOMPARE(poWindow->m_poConversionType->currentIndex(), 0);
        QCOMPARE(poWindow->m_poHorizontalShift->value(), 0);
        QCOMPARE(poWindow->findChild<QLabel*>(QStringLiteral("HorizontalShiftValue"))->text(),
                 QStringLiteral("0"));
        for (int i = 0; i < 16; i++)
            QVERIFY(!poWindow->m_apoColorButtons[i]->m_bSelected);
        QCOMPARE(poWindow->m_apoColorButtons[15]->m_oColor.r, g_aoMSX1Palette[15].r);
        QTRY_COMPARE_WITH_TIMEOUT(poWindow->m_iConversionCount, iCount + 1, 3000);
    }

    void commandLineFollowsTheSettings()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        vChoose(poWindow->m_poScreenMode, ScreenMode_Screen5);
        vChoose(poWindow->m_poConversionType, ConversionType_SC);
        QCOMPARE(poWindow->m_poCommandLine->text(),
                 QStringLiteral("qev <input_file> -ct3 -sm2 -of<output_file>"));
    }

    // Closing the window writes only the changed values to the store.
    void closingStoresOnlyTheChanges()
    {
        Window* poWindow = poShowWindow();
        QVERIFY(poWindow);
        vChoose(poWindow->m_poScreenMode, ScreenMode_Screen5);
        m_poWindow.reset();
        QSettings oStore;
        oStore.beginGroup(QStringLiteral("QEV"));
        QCOMPARE(oStore.allKeys(), QStringList{QStringLiteral("ScreenMode")});
        QCOMPARE(oStore.value(QStringLiteral("ScreenMode")).toInt(), 2);
        oStore.endGroup();

        // The next window starts with it.
        poWindow = poShowWindow();
        QVERIFY(poWindow);
        QCOMPARE(poWindow->m_poScreenMode->currentIndex(), 2);
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
