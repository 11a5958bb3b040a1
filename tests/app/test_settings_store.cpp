// The settings store: which keys are written, what a stored value loads as, and
// round trips through a temporary INI store.

#include "settings_store.h"

#include "qev/base/settings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

namespace
{

// The 34 keys of the group "QEV", written out by hand from the store's
// documentation rather than taken from the code.
// clang-format off
const char* const g_apszExpectedKeys[34] = {
    "Bordercolor", "BrightnessWeight", "CustomInputAspectRatio", "CustomOutputAspectRatio",
    "ConversionType", "DisplayFilter", "DeltaMethod", "ErrorDiffusionFactor", "FitMode", "HShift",
    "InputAspectRatioType", "InterlacedMode", "KRUBlockSize", "OutputAspectRatioType", "OutputHeight",
    "OutputSizeType", "OutputWidth", "PaletteDetailsEnhancement", "PaletteType", "RGB2YJKMethod",
    "ResizeFilter", "ResourceMode", "ResourcePaletteSize", "ResourceWritePalette", "Screen10Palette",
    "Screen2DetailsEnhancement", "ScreenMode", "YJK2RGBInterpolation", "YJKDetailsEnhancement",
    "RealMSXAspectRatio", "DitheringMode", "BayerFactor", "BayerLowThreshold", "BayerHighThreshold",
};
// clang-format on

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT
    QTemporaryDir m_oFolder;
    int m_iStore = 0;

    // A fresh, empty INI store in the temporary folder.
    QString sNewStorePath() { return m_oFolder.filePath(QStringLiteral("store%1.ini").arg(m_iStore++)); }

    static tdSettings oDefaults()
    {
        tdSettings oSettings;
        vGetDefaultSettings(&oSettings);
        return oSettings;
    }

private slots:
    void emptyStoreKeepsDefaults()
    {
        QSettings oStore(sNewStorePath(), QSettings::IniFormat);
        tdSettings oSettings = oDefaults();
        const tdSettings oExpected = oDefaults();
        vLoadSettingsFromQSettings(&oSettings, oStore);
        QVERIFY(memcmp(&oSettings, &oExpected, sizeof(tdSettings)) == 0);
    }

    void onlyChangedKeysAreWritten()
    {
        QSettings oStore(sNewStorePath(), QSettings::IniFormat);
        tdSettings oSettings = oDefaults();
        oSettings.ScreenMode = ScreenMode_Screen5;
        vSaveSettingsToQSettings(&oSettings, oStore, true);
        oStore.beginGroup(QStringLiteral("QEV"));
        QCOMPARE(oStore.allKeys(), QStringList{QStringLiteral("ScreenMode")});
        QCOMPARE(oStore.value(QStringLiteral("ScreenMode")).toInt(), 2);
        oStore.endGroup();
    }

    void aKeyBackAtItsDefaultIsRemoved()
    {
        QSettings oStore(sNewStorePath(), QSettings::IniFormat);
        tdSettings oSettings = oDefaults();
        oSettings.ErrorDiffusionFactor = 0.5;
        oSettings.HShift = -2;
        vSaveSettingsToQSettings(&oSettings, oStore, true);
        oSettings.ErrorDiffusionFactor = 0.8;
        vSaveSettingsToQSettings(&oSettings, oStore, true);
        oStore.beginGroup(QStringLiteral("QEV"));
        QCOMPARE(oStore.allKeys(), QStringList{QStringLiteral("HShift")});
        oStore.endGroup();
    }

    void savingEverythingWritesThe34Keys()
    {
        QSettings oStore(sNewStorePath(), QSettings::IniFormat);
        const tdSettings oSettings = oDefaults();
        vSaveSettingsToQSettings(&oSettings, oStore, false);
        oStore.beginGroup(QStringLiteral("QEV"));
        QStringList asKeys = oStore.allKeys();
        oStore.endGroup();
        QStringList asExpected;
        for (const char* pszKey : g_apszExpectedKeys)
            asExpected << QLatin1String(pszKey);
        asKeys.sort();
        asExpected.sort();
        QCOMPARE(asKeys, asExpected);
    }

    // Every field of the store set away from its default survives a save and a
    // load into a default record, through the file on disk.
    void roundTripThroughTheFile()
    {
        const QString sPath = sNewStorePath();
        tdSettings oChanged = oDefaults();
        oChanged.Bordercolor = 7;
        oChanged.BrightnessWeight = 2.5;
        oChanged.CustomInputAspectRatio = 1.25;
        oChanged.CustomOutputAspectRatio = 0.75;
        oChanged.ConversionType = ConversionType_KRU;
        oChanged.DisplayFilter = ResizeFilter_Bicubic;
        oChanged.DeltaMethod = DeltaMethod_CIEDE2000;
        oChanged.ErrorDiffusionFactor = 0.625;
        oChanged.FitMode = FitMode_Crop;
        oChanged.HShift = 3;
        oChanged.InputAspectRatioType = AspectRatio_Custom;
        oChanged.InterlacedMode = 1;
        oChanged.KRUBlockSize = 4096;
        oChanged.OutputAspectRatioType = AspectRatio_50Hz;
        oChanged.OutputHeight = 480;
        oChanged.OutputSizeType = OutputSize_Custom;
        oChanged.OutputWidth = 640;
        oChanged.PaletteDetailsEnhancement = 3.5;
        oChanged.PaletteType = PaletteType_Grey;
        oChanged.RGB2YJKMethod = RGB2YJK_LeastSquares;
        oChanged.ResizeFilter = ResizeFilter_Box;
        oChanged.ResourceMode = ResourceMode_YJK;
        oChanged.ResourcePaletteSize = 4;
        oChanged.ResourceWritePalette = 0;
        oChanged.Screen10Palette = 1;
        oChanged.Screen2DetailsEnhancement = 12.0;
        oChanged.ScreenMode = ScreenMode_Screen12;
        oChanged.YJK2RGBInterpolation = YJK2RGB_Lanczos3;
        oChanged.YJKDetailsEnhancement = 1.125;
        oChanged.RealMSXAspectRatio = 1;
        oChanged.DitheringMode = Dithering_Bayer4x4;
        oChanged.BayerFactor = 0.3;
        oChanged.BayerLowThreshold = 0.1;
        oChanged.BayerHighThreshold = 0.9;
        {
            QSettings oStore(sPath, QSettings::IniFormat);
            vSaveSettingsToQSettings(&oChanged, oStore, true);
            oStore.beginGroup(QStringLiteral("QEV"));
            QCOMPARE(oStore.allKeys().size(), 34);
            oStore.endGroup();
        }
        QSettings oStore(sPath, QSettings::IniFormat);
        tdSettings oLoaded = oDefaults();
        vLoadSettingsFromQSettings(&oLoaded, oStore);
        QVERIFY(memcmp(&oLoaded, &oChanged, sizeof(tdSettings)) == 0);
    }

    void storedValueLoadsAs_data()
    {
        QTest::addColumn<QString>("sKey");
        QTest::addColumn<QString>("sStored");
        QTest::addColumn<double>("fExpected");
        // A one-byte field keeps the low byte of the stored integer.
        QTest::newRow("byte 257") << "InterlacedMode"
                                  << "257" << 1.0;
        QTest::newRow("byte 511") << "Bordercolor"
                                  << "511" << 255.0;
        QTest::newRow("byte text") << "RealMSXAspectRatio"
                                   << "yes" << 0.0;
        // A value that does not convert, or lies outside the field's range,
        // keeps the default.
        QTest::newRow("double text") << "ErrorDiffusionFactor"
                                     << "lots" << 0.8;
        QTest::newRow("double ok") << "ErrorDiffusionFactor"
                                   << "0.25" << 0.25;
        QTest::newRow("int fraction") << "ScreenMode"
                                      << "2.5" << 5.0;
        QTest::newRow("int text") << "ScreenMode"
                                  << "Screen 5" << 5.0;
        QTest::newRow("enum too big") << "ScreenMode"
                                      << "8" << 5.0;
        QTest::newRow("enum negative") << "DitheringMode"
                                       << "-1" << 1.0;
        QTest::newRow("enum ok") << "DitheringMode"
                                 << "4" << 4.0;
        QTest::newRow("width zero") << "OutputWidth"
                                    << "0" << 256.0;
        QTest::newRow("width huge") << "OutputWidth"
                                    << "100000" << 256.0;
        QTest::newRow("width beyond int") << "OutputWidth"
                                          << "4294967552" << 256.0;
        QTest::newRow("width ok") << "OutputWidth"
                                  << "320" << 320.0;
        QTest::newRow("ratio zero") << "CustomInputAspectRatio"
                                    << "0" << 1.0;
        QTest::newRow("ratio negative") << "CustomOutputAspectRatio"
                                        << "-2" << 1.0;
        QTest::newRow("ratio nan") << "CustomOutputAspectRatio"
                                   << "nan" << 1.0;
        QTest::newRow("ratio inf") << "CustomOutputAspectRatio"
                                   << "inf" << 1.0;
        QTest::newRow("ratio ok") << "CustomOutputAspectRatio"
                                  << "1.5" << 1.5;
        QTest::newRow("threshold above 1") << "BayerHighThreshold"
                                           << "1.5" << 1.0;
    }

    void storedValueLoadsAs()
    {
        QFETCH(QString, sKey);
        QFETCH(QString, sStored);
        QFETCH(double, fExpected);
        QSettings oStore(sNewStorePath(), QSettings::IniFormat);
        oStore.setValue(QStringLiteral("QEV/") + sKey, sStored);
        oStore.sync();
        tdSettings oSettings = oDefaults();
        vLoadSettingsFromQSettings(&oSettings, oStore);
        const struct
        {
            const char* pszKey;
            double fValue;
        } aoFields[] = {
            {"InterlacedMode", static_cast<double>(oSettings.InterlacedMode)},
            {"Bordercolor", static_cast<double>(oSettings.Bordercolor)},
            {"RealMSXAspectRatio", static_cast<double>(oSettings.RealMSXAspectRatio)},
            {"ErrorDiffusionFactor", oSettings.ErrorDiffusionFactor},
            {"ScreenMode", static_cast<double>(oSettings.ScreenMode)},
            {"DitheringMode", static_cast<double>(oSettings.DitheringMode)},
            {"OutputWidth", static_cast<double>(oSettings.OutputWidth)},
            {"CustomInputAspectRatio", oSettings.CustomInputAspectRatio},
            {"CustomOutputAspectRatio", oSettings.CustomOutputAspectRatio},
            {"BayerHighThreshold", oSettings.BayerHighThreshold},
        };
        bool bFound = false;
        for (const auto& oField : aoFields)
        {
            if (sKey != QLatin1String(oField.pszKey)) continue;
            QCOMPARE(oField.fValue, fExpected);
            bFound = true;
        }
        QVERIFY(bFound);
    }

    // Keys outside the group, and the fields that are never stored, stay untouched.
    void unstoredFieldsAreLeftAlone()
    {
        QSettings oStore(sNewStorePath(), QSettings::IniFormat);
        oStore.setValue(QStringLiteral("ScreenMode"), 2);
        oStore.setValue(QStringLiteral("QEV/SelectedColor"), 3);
        oStore.setValue(QStringLiteral("QEV/SourceBaseName"), QStringLiteral("x"));
        tdSettings oSettings = oDefaults();
        const tdSettings oExpected = oDefaults();
        vLoadSettingsFromQSettings(&oSettings, oStore);
        QVERIFY(memcmp(&oSettings, &oExpected, sizeof(tdSettings)) == 0);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
