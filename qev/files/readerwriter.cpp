// File dispatch: readers chosen by the name's extension, writers by the
// conversion type, and the naming helpers they share.

#include "qev/files/readerwriter.h"

#include "qev/base/report.h"
#include "qev/files/format_kru.h"
#include "qev/files/format_qev.h"
#include "qev/files/format_res_spr.h"
#include "qev/files/format_rom.h"
#include "qev/files/format_sc.h"
#include "qev/files/format_sr.h"
#include "qev/files/jpeg_io.h"
#include "qev/files/output_files.h"
#include "qev/files/png_io.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace
{
enum tdReader
{
    Reader_PNG,
    Reader_JPEG,
    Reader_QEV,
    Reader_SR,
    Reader_SC,
};

struct tdHandledExtension
{
    const char* pszExtension;
    tdReader eReader;
    int iScreen;      // MSX screen number of the screen dumps
    bool bSecondPage; // interlaced dumps come with a second page
};
} // namespace

// Readers by extension, compared case-insensitively with the end of the name and
// tried in this order; the list ends with a row without extension.
//  extension  reader     screen second page
static const tdHandledExtension g_aoHandledExtensions[] = {
    {".png", Reader_PNG, 0, false}, {".jpg", Reader_JPEG, 0, false}, {".jpeg", Reader_JPEG, 0, false},
    {".qev", Reader_QEV, 0, false}, {".sr2", Reader_SR, 2, false},   {".sr3", Reader_SR, 3, false},
    {".sr4", Reader_SR, 4, false},  {".sr5", Reader_SR, 5, false},   {".sr6", Reader_SR, 6, false},
    {".sr7", Reader_SR, 7, false},  {".sr8", Reader_SR, 8, false},   {".sra", Reader_SR, 10, false},
    {".src", Reader_SR, 12, false}, {".si5", Reader_SR, 5, true},    {".si6", Reader_SR, 6, true},
    {".si7", Reader_SR, 7, true},   {".si8", Reader_SR, 8, true},    {".sia", Reader_SR, 10, true},
    {".sic", Reader_SR, 12, true},  {".sc2", Reader_SC, 2, false},   {".sc3", Reader_SC, 3, false},
    {".sc4", Reader_SC, 4, false},  {".sc5", Reader_SC, 5, false},   {".sc6", Reader_SC, 6, false},
    {".sc7", Reader_SC, 7, false},  {".sc8", Reader_SC, 8, false},   {".sca", Reader_SC, 10, false},
    {".scc", Reader_SC, 12, false}, {".sk5", Reader_SC, 5, true},    {".sk6", Reader_SC, 6, true},
    {".sk7", Reader_SC, 7, true},   {".sk8", Reader_SC, 8, true},    {".ska", Reader_SC, 10, true},
    {".skc", Reader_SC, 12, true},  {nullptr, Reader_PNG, 0, false},
};

// Names whose second page is looked for: interlaced SR (".si?") and SC (".sk?").
static const char* const g_apszSecondPageSR[] = {".si2", ".si3", ".si5", ".si6",
                                                 ".si7", ".si8", ".sia", ".sic"};
static const char* const g_apszSecondPageSC[] = {".sk2", ".sk3", ".sk5", ".sk6",
                                                 ".sk7", ".sk8", ".ska", ".skc"};

void vApplyInputAspectRatio(Image* poImage, const tdSettings* poSettings)
{
    double fRatio = fSaneAspectRatio(poImage->m_fAspectRatio);
    vSetInputAutoAspectRatio(fRatio);
    vGetInputAspectRatio(poSettings, &fRatio);
    poImage->m_fAspectRatio = fSaneAspectRatio(fRatio);
}

bool bIsReadableExtension(const char* pszName)
{
    for (const tdHandledExtension* po = g_aoHandledExtensions; po->pszExtension; po++)
        if (bEndsWith(pszName, po->pszExtension)) return true;
    return false;
}

const char* pszReadableExtension(int iIndex)
{
    const int iCount = static_cast<int>(sizeof(g_aoHandledExtensions) / sizeof(g_aoHandledExtensions[0])) - 1;
    return iIndex >= 0 && iIndex < iCount ? g_aoHandledExtensions[iIndex].pszExtension : nullptr;
}

static bool bEndsWithAny(const char* pszName, const char* const* ppszEndings, size_t uiCount)
{
    for (size_t i = 0; i < uiCount; i++)
        if (bEndsWith(pszName, ppszEndings[i])) return true;
    return false;
}

static void vCloseIfOpen(FILE* poFile)
{
    if (poFile) fclose(poFile);
}

// Opens the companion of a screen dump whose name ends in pszReplacement instead of
// the characters from iOffset on (szReplaceEnding: the letters take the case of the
// letters they replace, as the writers name companions). Sets written before that
// rule have an all lower-case companion extension beside an upper-case name
// ("UP.SI5" with "UP.sj5"), so that comes next. Null when neither opens or the
// name has no such ending.
static FILE* poOpenCompanion(const char* pszName, int iOffset, const char* pszReplacement)
{
    char* pszCompanion = szReplaceEnding(pszName, iOffset, pszReplacement);
    FILE* poFile = strcmp(pszCompanion, pszName) != 0 ? fopen(pszCompanion, "rb") : nullptr;
    const size_t uiLength = strlen(pszCompanion);
    if (!poFile && uiLength >= 3 && strcmp(pszCompanion, pszName) != 0)
    {
        bool bChanged = false;
        for (size_t i = uiLength - 3; i < uiLength; i++)
        {
            const char c = static_cast<char>(tolower(static_cast<unsigned char>(pszCompanion[i])));
            bChanged = bChanged || c != pszCompanion[i];
            pszCompanion[i] = c;
        }
        if (bChanged) poFile = fopen(pszCompanion, "rb");
    }
    free(pszCompanion);
    return poFile;
}

Image* poReadImageFromFile(const char* pszName, const tdSettings* poSettings)
{
    return poReadImageFromFileAs(pszName, pszName, poSettings);
}

Image* poReadImageFromFileAs(const char* pszName, const char* pszType, const tdSettings* poSettings)
{
    FILE* poFile = fopen(pszName, "rb");
    if (!poFile)
    {
        vError(__FILE__, __func__, __LINE__, "Unable to open %s.", pszName);
        return nullptr;
    }

    FILE* poSecond = nullptr;
    const char* pszSecondPage = nullptr;
    if (bEndsWithAny(pszType, g_apszSecondPageSR, sizeof(g_apszSecondPageSR) / sizeof(g_apszSecondPageSR[0])))
        pszSecondPage = "j";
    else if (bEndsWithAny(pszType, g_apszSecondPageSC,
                          sizeof(g_apszSecondPageSC) / sizeof(g_apszSecondPageSC[0])))
        pszSecondPage = "l";
    if (pszSecondPage)
    {
        poSecond = poOpenCompanion(pszName, -2, pszSecondPage);
        if (!poSecond)
        {
            char* pszSecond = szReplaceEnding(pszName, -2, pszSecondPage);
            vError(__FILE__, __func__, __LINE__, "Unable to open %s.", pszSecond);
            free(pszSecond);
        }
    }
    // The palette file of SR dumps: .sr5 -> .pl5, .si5 -> .pi5. Missing is fine.
    FILE* poPaletteFile = pszType == pszName ? poOpenCompanion(pszName, -3, poSecond ? "pi" : "pl") : nullptr;

    Image* poImage = nullptr;
    for (const tdHandledExtension* po = g_aoHandledExtensions; po->pszExtension && !poImage; po++)
    {
        if (!bEndsWith(pszType, po->pszExtension)) continue;
        rewind(poFile);
        if (poSecond) rewind(poSecond);
        if (poPaletteFile) rewind(poPaletteFile);
        FILE* poPage2 = po->bSecondPage ? poSecond : nullptr;
        switch (po->eReader)
        {
        case Reader_PNG:
            poImage = poReadImageFromPNGFile(poFile);
            break;
        case Reader_JPEG:
            poImage = poReadImageFromJPEGFile(poFile);
            break;
        case Reader_QEV:
            poImage = poReadImageFromQEVFile(poFile, poSettings, nullptr);
            break;
        case Reader_SC:
            poImage = poReadImageFromSCFile(po->iScreen, poSettings, poFile, poPage2, nullptr);
            break;
        case Reader_SR:
            poImage = poReadImageFromSRFile(po->iScreen, poSettings, poFile, poPaletteFile, poPage2, nullptr);
            break;
        }
    }
    if (poImage) vApplyInputAspectRatio(poImage, poSettings);
    fclose(poFile);
    vCloseIfOpen(poPaletteFile);
    vCloseIfOpen(poSecond);
    return poImage;
}

bool bIsSupportedConversionType(int eConversionType)
{
    return eConversionType >= 0 && eConversionType < ConversionType_Count;
}

// The extension oWriteImageToFile appends, by conversion type; null for none.
static const char* const g_apszMainExtensions[ConversionType_Count] = {
    ".png",  // PNG
    ".qev",  // QEV
    ".sr",   // SR: + screen character (".si" interlaced)
    ".sc",   // SC: + screen character (".sk" interlaced)
    ".spr",  // SPR
    nullptr, // RAW: written to the caller's stream
    ".kru",  // KRU
    ".res",  // RES
    ".rom",  // ROM
};

char* szGetOutputFileName(const char* pszName, const tdSettings* poSettings)
{
    int eType = poSettings->ConversionType;
    if (eType < 0 || eType >= ConversionType_Count || !g_apszMainExtensions[eType]) return nullptr;
    char acExtension[8];
    const char* pszScreen = szGetScreenCharFromMode(poSettings->ScreenMode);
    if (eType == ConversionType_SR || eType == ConversionType_SC)
    {
        if (!pszScreen) return nullptr;
        bool bInterlaced = bSettingsInterlaced(poSettings);
        snprintf(acExtension, sizeof(acExtension), "%s%s",
                 eType == ConversionType_SR ? (bInterlaced ? ".si" : ".sr") : (bInterlaced ? ".sk" : ".sc"),
                 pszScreen);
    }
    else
    {
        snprintf(acExtension, sizeof(acExtension), "%s", g_apszMainExtensions[eType]);
    }
    if (bEndsWith(pszName, acExtension)) return szConcat(pszName, "");
    return szConcat(pszName, acExtension);
}

// The companion name of a written screen dump: the main name (which ends in its
// four-character extension) with the extension's letters replaced by the prefix
// and the screen character, in the case of the letters they replace, so that
// "UP.SI5" has "UP.SJ5" and "UP.PI5" beside it, as the reader looks for them.
static char* szCompanionName(const char* pszMain, const char* pszPrefix, const char* pszScreen)
{
    char acExtension[8];
    snprintf(acExtension, sizeof(acExtension), "%s%s", pszPrefix, pszScreen);
    return szReplaceEnding(pszMain, -3, acExtension);
}

// The palette file written beside an SR dump that uses a palette (.pl?, .pi?
// interlaced), or null.
static char* szPaletteFileName(const char* pszMain, const tdSettings* poSettings)
{
    const char* pszScreen = szGetScreenCharFromMode(poSettings->ScreenMode);
    if (!pszMain || !pszScreen || poSettings->ConversionType != ConversionType_SR ||
        !bSettingsUsePalette(poSettings))
        return nullptr;
    return szCompanionName(pszMain, bSettingsInterlaced(poSettings) ? "pi" : "pl", pszScreen);
}

// The second page written beside an interlaced SR (.sj?) or SC (.sl?) dump, or null.
static char* szSecondPageFileName(const char* pszMain, const tdSettings* poSettings)
{
    const char* pszScreen = szGetScreenCharFromMode(poSettings->ScreenMode);
    if (!pszMain || !pszScreen || !bSettingsInterlaced(poSettings)) return nullptr;
    if (poSettings->ConversionType == ConversionType_SR) return szCompanionName(pszMain, "sj", pszScreen);
    if (poSettings->ConversionType == ConversionType_SC) return szCompanionName(pszMain, "sl", pszScreen);
    return nullptr;
}

int iGetCompanionFileNames(const char* pszMain, const tdSettings* poSettings, char* apszNames[2])
{
    int iCount = 0;
    for (char* pszName : {szPaletteFileName(pszMain, poSettings), szSecondPageFileName(pszMain, poSettings)})
        if (pszName) apszNames[iCount++] = pszName;
    return iCount;
}

tdErrorTriple oWriteImageToFile(const Image* poImage, const char* pszName, const tdSettings* poSettings,
                                void* pContext, FILE* poRawStream)
{
    return oWriteImageToFile(poImage, pszName, poSettings, pContext, poRawStream, nullptr);
}

tdErrorTriple oWriteImageToFile(const Image* poImage, const char* pszName, const tdSettings* poSettings,
                                void* pContext, FILE* poRawStream, Image** ppoConverted,
                                const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    const int eType = poSettings->ConversionType;
    const char* pszScreen = szGetScreenCharFromMode(poSettings->ScreenMode);
    if (!pszScreen || eType < 0 || eType >= ConversionType_Count)
    {
        vError(__FILE__, __func__, __LINE__, "Unhandled screen type.");
        return oError;
    }
    if (eType == ConversionType_RAW)
    {
        if (!poRawStream) return oError;
        return oWriteImageToSRFile(poImage, poSettings, poRawStream, poRawStream, nullptr, ppoConverted,
                                   nullptr, poRun);
    }
    char* pszMain = szGetOutputFileName(pszName, poSettings);
    if (!pszMain) return oError;

    FILE* poFile = nullptr;
    if (eType == ConversionType_KRU)
    {
        // Appending to an existing file keeps the records already there. An existing
        // file that cannot be opened for update (or copied, for a pending set) gets
        // nothing: a new file holding the new record alone would replace the records.
        struct stat oStat;
        if (stat(pszMain, &oStat) == 0)
        {
            poFile = poOpenForWrite(pContext, pszMain, "r+b");
            if (!poFile)
            {
                vError(__FILE__, __func__, __LINE__, "Cannot append to %s: %s\n", pszMain, strerror(errno));
                free(pszMain);
                return oError;
            }
            fseek(poFile, 0, SEEK_END);
        }
    }
    if (!poFile) poFile = poOpenForWrite(pContext, pszMain, "wb");
    if (!poFile)
    {
        free(pszMain);
        return oError;
    }
    switch (eType)
    {
    case ConversionType_PNG:
        oError = oWriteImageToPNGFile(poImage, poSettings, poFile, ppoConverted, poRun);
        break;
    case ConversionType_QEV:
        oError = oWriteImageToQEVFile(poImage, poSettings, poFile, ppoConverted, nullptr, CompressionType_LZW,
                                      poRun);
        break;
    case ConversionType_SR:
    {
        char* pszPalette = szPaletteFileName(pszMain, poSettings);
        char* pszSecond = szSecondPageFileName(pszMain, poSettings);
        FILE* poPaletteFile = pszPalette ? poOpenForWrite(pContext, pszPalette, "wt") : nullptr;
        FILE* poSecond = pszSecond ? poOpenForWrite(pContext, pszSecond, "wb") : nullptr;
        oError = oWriteImageToSRFile(poImage, poSettings, poFile, poPaletteFile, poSecond, ppoConverted,
                                     nullptr, poRun);
        vCloseForWrite(pContext, poPaletteFile);
        vCloseForWrite(pContext, poSecond);
        free(pszPalette);
        free(pszSecond);
        break;
    }
    case ConversionType_SC:
    {
        FILE* poSecond = nullptr;
        if (char* pszSecond = szSecondPageFileName(pszMain, poSettings))
        {
            poSecond = poOpenForWrite(pContext, pszSecond, "wb");
            free(pszSecond);
            if (!poSecond) break;
        }
        oError = oWriteImageToSCFile(poImage, poSettings, poFile, poSecond, ppoConverted, nullptr, poRun);
        vCloseForWrite(pContext, poSecond);
        break;
    }
    case ConversionType_SPR:
        // A picture without any sprite colour gives a complete, empty sheet.
        if (pContext) vAllowEmptyPendingFile(static_cast<tdOutputFiles*>(pContext), poFile);
        oError = oWriteImageToSPRFile(poImage, poSettings, poFile, ppoConverted, nullptr, poRun);
        break;
    case ConversionType_KRU:
        oError = oWriteImageToKRUFile(poImage, poSettings, poFile, ppoConverted, nullptr,
                                      CompressionType_None, poRun);
        break;
    case ConversionType_ROM:
        oError = oWriteImageToROMFile(poImage, poSettings, poFile, ppoConverted, nullptr, poRun);
        break;
    case ConversionType_RES:
        oError = oWriteImageToRESFile(poImage, poSettings, poFile, ppoConverted, nullptr, poRun);
        break;
    default:
        break;
    }
    vCloseForWrite(pContext, poFile);
    free(pszMain);
    return oError;
}
