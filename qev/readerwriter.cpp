// File dispatch: readers chosen by the name's extension, writers by the
// conversion type, and the naming helpers they share.

#include "readerwriter.h"

#include "jpeg_io.h"
#include "output_files.h"
#include "png_io.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

void vError(const char* pszFile, const char* pszFunction, int iLine, const char* pszFormat, ...)
{
    fprintf(stderr, "File: %s\nFunction: %s\nLine: %d\nMessage: ", pszFile, pszFunction, iLine);
    va_list oArguments;
    va_start(oArguments, pszFormat);
    vfprintf(stderr, pszFormat, oArguments);
    va_end(oArguments);
    fflush(stderr);
}

void vDebugPrintf(const char* pszFormat, ...)
{
    char acBuffer[1024];
    va_list oArguments;
    va_start(oArguments, pszFormat);
    vsnprintf(acBuffer, sizeof(acBuffer), pszFormat, oArguments);
    va_end(oArguments);
}

void vDebugPrintfNoCR(const char* pszFormat, ...)
{
    char acBuffer[1024];
    va_list oArguments;
    va_start(oArguments, pszFormat);
    vsnprintf(acBuffer, sizeof(acBuffer), pszFormat, oArguments);
    va_end(oArguments);
}

bool bEndsWith(const char* pszText, const char* pszEnding)
{
    size_t uiText = strlen(pszText);
    size_t uiEnding = strlen(pszEnding);
    if (uiEnding > uiText) return false;
    return strcasecmp(pszText + uiText - uiEnding, pszEnding) == 0;
}

char* szConcat(const char* pszFirst, const char* pszSecond)
{
    size_t uiFirst = strlen(pszFirst);
    size_t uiSecond = strlen(pszSecond);
    char* psz = static_cast<char*>(malloc(uiFirst + uiSecond + 1));
    memcpy(psz, pszFirst, uiFirst);
    memcpy(psz + uiFirst, pszSecond, uiSecond + 1);
    return psz;
}

char* szReplaceExtenstion(const char* pszName, const char* pszExtension)
{
    const char* pszSlash = strrchr(pszName, '/');
    const char* pszDot = strrchr(pszName, '.');
    size_t uiKeep = strlen(pszName);
    if (pszDot && (!pszSlash || pszDot > pszSlash)) uiKeep = static_cast<size_t>(pszDot - pszName);
    size_t uiExtension = strlen(pszExtension);
    char* psz = static_cast<char*>(malloc(uiKeep + 1 + uiExtension + 1));
    memcpy(psz, pszName, uiKeep);
    psz[uiKeep] = '.';
    memcpy(psz + uiKeep + 1, pszExtension, uiExtension + 1);
    return psz;
}

char* szReplaceEnding(const char* pszText, int iOffset, const char* pszReplacement)
{
    char* psz = szConcat(pszText, "");
    long lLength = static_cast<long>(strlen(psz));
    if (iOffset >= 0 || lLength + iOffset < 0) return psz;
    for (long i = lLength + iOffset; i < lLength && *pszReplacement; i++, pszReplacement++)
    {
        char c = *pszReplacement;
        if (psz[i] >= 'A' && psz[i] <= 'Z' && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        psz[i] = c;
    }
    return psz;
}

// File names use one character per screen.
static const char* const g_apszScreenChars[ScreenMode_Count] = {"2", "3", "5", "6", "7", "8", "a", "c"};

const char* szGetScreenCharFromMode(int eScreenMode)
{
    if (eScreenMode < 0 || eScreenMode >= ScreenMode_Count) return nullptr;
    return g_apszScreenChars[eScreenMode];
}

FILE* poOpenForWrite(void* pContext, const char* pszName, const char* pszMode)
{
    if (pContext) return poOpenPendingFile(static_cast<tdOutputFiles*>(pContext), pszName, pszMode);
    return fopen(pszName, pszMode);
}

void vCloseForWrite(void* pContext, FILE* poStream)
{
    if (!poStream) return;
    if (pContext)
        vClosePendingFile(static_cast<tdOutputFiles*>(pContext), poStream);
    else
        fclose(poStream);
}

namespace
{
enum tdReader
{
    Reader_PNG,
    Reader_JPEG,
};

struct tdHandledExtension
{
    const char* pszExtension;
    tdReader eReader;
};
} // namespace

// Readers by extension, compared case-insensitively with the end of the name and
// tried in this order.
//  extension  reader
static const tdHandledExtension g_aoHandledExtensions[] = {
    {".png",  Reader_PNG},
    {".jpg",  Reader_JPEG},
    {".jpeg", Reader_JPEG},
    {nullptr, Reader_PNG},
};

bool bIsReadableExtension(const char* pszName)
{
    for (const tdHandledExtension* po = g_aoHandledExtensions; po->pszExtension; po++)
        if (bEndsWith(pszName, po->pszExtension)) return true;
    return false;
}

Image* poReadImageFromFile(const char* pszName, const tdSettings* poSettings)
{
    FILE* poFile = fopen(pszName, "rb");
    if (!poFile)
    {
        vError(__FILE__, __func__, __LINE__, "Unable to open %s.", pszName);
        return nullptr;
    }
    Image* poImage = nullptr;
    for (const tdHandledExtension* po = g_aoHandledExtensions; po->pszExtension && !poImage; po++)
    {
        if (!bEndsWith(pszName, po->pszExtension)) continue;
        rewind(poFile);
        switch (po->eReader)
        {
        case Reader_PNG:
            poImage = poReadImageFromPNGFile(poFile);
            break;
        case Reader_JPEG:
            poImage = poReadImageFromJPEGFile(poFile);
            break;
        }
    }
    if (poImage)
    {
        // A ratio a file brought that is not finite and positive means square pixels.
        double fRatio = fSaneAspectRatio(poImage->m_fAspectRatio);
        vSetInputAutoAspectRatio(fRatio);
        vGetInputAspectRatio(poSettings, &fRatio);
        poImage->m_fAspectRatio = fSaneAspectRatio(fRatio);
    }
    fclose(poFile);
    return poImage;
}

bool bIsSupportedConversionType(int eConversionType)
{
    return eConversionType == ConversionType_PNG;
}

// The extension oWriteImageToFile appends, by conversion type; null for none.
static const char* const g_apszMainExtensions[ConversionType_Count] = {
    ".png", // PNG
    ".qev", // QEV
    ".sr",  // SR: + screen character (".si" interlaced)
    ".sc",  // SC: + screen character (".sk" interlaced)
    ".spr", // SPR
    nullptr, // RAW: written to the caller's stream
    ".kru", // KRU
    ".res", // RES
};

char* szGetOutputFileName(const char* pszName, const tdSettings* poSettings)
{
    int eType = poSettings->ConversionType;
    if (eType < 0 || eType >= ConversionType_Count || !g_apszMainExtensions[eType]) return nullptr;
    char acExtension[8];
    const char* pszScreen = szGetScreenCharFromMode(poSettings->ScreenMode);
    if (eType == ConversionType_SR || eType == ConversionType_SC)
    {
        bool bInterlaced = bSettingsInterlaced(poSettings);
        snprintf(acExtension, sizeof(acExtension), "%s%s",
                 eType == ConversionType_SR ? (bInterlaced ? ".si" : ".sr") : (bInterlaced ? ".sk" : ".sc"),
                 pszScreen ? pszScreen : "");
    }
    else
    {
        snprintf(acExtension, sizeof(acExtension), "%s", g_apszMainExtensions[eType]);
    }
    if (bEndsWith(pszName, acExtension)) return szConcat(pszName, "");
    return szConcat(pszName, acExtension);
}

tdErrorTriple oWriteImageToFile(const Image* poImage, const char* pszName, const tdSettings* poSettings,
                                void* pContext, FILE* poRawStream)
{
    (void)poRawStream;
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    if (!bIsSupportedConversionType(poSettings->ConversionType)) return oError;
    char* pszFileName = szGetOutputFileName(pszName, poSettings);
    if (!pszFileName) return oError;
    FILE* poFile = poOpenForWrite(pContext, pszFileName, "wb");
    free(pszFileName);
    if (!poFile) return oError;
    switch (poSettings->ConversionType)
    {
    case ConversionType_PNG:
        oError = oWriteImageToPNGFile(poImage, poSettings, poFile, nullptr);
        break;
    default:
        break;
    }
    vCloseForWrite(pContext, poFile);
    return oError;
}
