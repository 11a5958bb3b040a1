#include "command_line.h"

#include "qev/base/settings_string.h"

#include <QRegularExpression>

QString sShellWord(const QString& sWord)
{
    static const QRegularExpression s_oPlain(QStringLiteral("^[A-Za-z0-9_./+,:=@%-]+$"));
    if (s_oPlain.match(sWord).hasMatch()) return sWord;
    return QLatin1Char('\'') + QString(sWord).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

QString sCommandLine(const tdSettings* poSettings, const QString& sSource, const QString& sOutput,
                     const QString& sPaletteFile)
{
    char acCommandLine[16384];
    vWriteSettingsToString(poSettings, acCommandLine);
    QString sLine = QString::fromUtf8(acCommandLine);
    // The custom palette is no option of its own: it comes from a palette file.
    if (poSettings->PaletteType == PaletteType_Custom && bSettingsUsePalette(poSettings))
    {
        const QString sOption =
            QStringLiteral(" --palette=") +
            (sPaletteFile.isEmpty() ? QStringLiteral("<palette_file>") : sShellWord(sPaletteFile));
        const int iOutput = sLine.indexOf(QStringLiteral(" -of"));
        if (iOutput >= 0)
            sLine.insert(iOutput, sOption);
        else
            sLine += sOption;
    }
    if (!sSource.isEmpty())
    {
        sLine.replace(QStringLiteral("<input_file>"), sShellWord(sSource));
        sLine.replace(QStringLiteral("-of<output_file>"), sShellWord(QStringLiteral("-of") + sOutput));
    }
    return sLine;
}
