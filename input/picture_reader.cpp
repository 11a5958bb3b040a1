#include "input/picture_reader.h"

#include "input/picture_check.h"
#include "input/qt_picture_reader.h"
#include "input/qt_reader_module.h"
#include "input/tga_reader.h"
#include "qev/base/report.h"
#include "qev/files/readerwriter.h"
#include "qev/files/stream_bytes.h"
#include "retro/retro_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

const char* const g_apszModernExtensions[] = {".gif",  ".bmp", ".dib", ".tif", ".tiff",
                                              ".webp", ".tga", ".pnm", ".pbm", ".pgm",
                                              ".ppm",  ".ico", ".xpm", ".xbm", nullptr};

namespace
{
// A signature: bytes at an offset, and the reader they point to.
struct tdSignature
{
    size_t uiOffset;
    const char* pszBytes;
    size_t uiLength;
    const char* pszType;
};
} // namespace

// Checked in order; RIFF files are WebP only with "WEBP" at 8, IFF pictures
// are "FORM" files whose type at 8 is a picture's.
// offset bytes                length type
// clang-format off
static const tdSignature g_aoSignatures[] = {
    {0, "\x89PNG\r\n\x1a\n", 8, ".png"},
    {0, "\xFF\xD8\xFF",      3, ".jpg"},
    {0, "GIF87a",            6, "gif"},
    {0, "GIF89a",            6, "gif"},
    {0, "BM",                2, "bmp"},
    {0, "II*\0",             4, "tiff"},
    {0, "MM\0*",             4, "tiff"},
    {8, "WEBP",              4, "webp"},
    {8, "ILBM",              4, "x.iff"},
    {8, "PBM ",              4, "x.iff"},
    {0, "\0\0\1\0",          4, "ico"},
    {0, "/* XPM */",         9, "xpm"},
    {0, "#define ",          8, "xbm"},
};
// clang-format on

// Netpbm: "P1" to "P6" and white space; the Qt reader's name of each kind.
static const char* const g_apszNetpbmFormats[] = {"pbm", "pgm", "ppm", "pbm", "pgm", "ppm"};

const char* pszSniffPictureType(const unsigned char* pucHead, size_t uiSize)
{
    for (const tdSignature& o : g_aoSignatures)
        if (uiSize >= o.uiOffset + o.uiLength && memcmp(pucHead + o.uiOffset, o.pszBytes, o.uiLength) == 0)
        {
            if (o.uiOffset == 8 && memcmp(pucHead, strcmp(o.pszType, "webp") == 0 ? "RIFF" : "FORM", 4) != 0)
                continue;
            return o.pszType;
        }
    if (uiSize >= 3 && pucHead[0] == 'P' && pucHead[1] >= '1' && pucHead[1] <= '6' &&
        (pucHead[2] == ' ' || pucHead[2] == '\n' || pucHead[2] == '\r' || pucHead[2] == '\t'))
        return g_apszNetpbmFormats[pucHead[1] - '1'];
    return nullptr;
}

bool bIsModernFormat(const char* pszType)
{
    return pszType && pszType[0] != '.' && !strchr(pszType, '.');
}

// The whole file in memory, or false with *psError set. Files beyond the read's
// memory bound are not read at all.
static bool bReadWholeFile(const char* pszName, std::vector<unsigned char>* paucFile, std::string* psError)
{
    FILE* poFile = fopen(pszName, "rb");
    if (!poFile)
    {
        *psError = strerror(errno);
        return false;
    }
    const long long lSize = lStreamBytes(poFile);
    bool bOK = false;
    if (lSize < 0)
        *psError = "not a regular file";
    else if (lSize >= g_lMaxReadBytes)
        *psError = "the picture needs more memory than one read may use";
    else
    {
        paucFile->resize(static_cast<size_t>(lSize));
        bOK = fread(paucFile->data(), 1, paucFile->size(), poFile) == paucFile->size();
        if (!bOK) *psError = g_szFileEndsEarly;
    }
    fclose(poFile);
    return bOK;
}

Image* poReadModernPicture(const char* pszName, const char* pszFormat, const tdSettings* poSettings,
                           std::string* psError)
{
    std::string sError;
    std::vector<unsigned char> aucFile;
    Image* poImage = nullptr;
    const bool bTGA = strcmp(pszFormat, "tga") == 0;
    // At the peak of a Qt read the decoded picture, its RGB copy and our picture
    // are alive: 12 bytes a pixel at most; stb's and ours: 8.
    if (bReadWholeFile(pszName, &aucFile, &sError))
    {
        if (const char* pszWhy =
                pszCheckPictureFile(pszFormat, aucFile.data(), aucFile.size(), bTGA ? 8 : 12))
            sError = pszWhy;
        else if (bTGA)
            poImage = poReadTGA(aucFile.data(), aucFile.size(), &sError);
        else if (tdQtPictureReader pfnRead = pfnGetQtPictureReader(&sError))
        {
            tdQtPicture oPicture;
            const long long lHeld = static_cast<long long>(aucFile.size());
            if (pfnRead(aucFile.data(), aucFile.size(), pszFormat, g_lMaxReadBytes - lHeld, &oPicture))
            {
                poImage = new Image(oPicture.fAspectRatio);
                poImage->m_iWidth = oPicture.iWidth;
                poImage->m_iHeight = oPicture.iHeight;
                poImage->m_iTexelSize = oPicture.iTexelSize;
                poImage->m_pucTexels = oPicture.pucTexels;
            }
            else
                sError = oPicture.acError;
        }
    }
    if (poImage)
        vApplyInputAspectRatio(poImage, poSettings);
    else if (psError)
        *psError = sError;
    return poImage;
}

Image* poReadPicture(const char* pszName, const tdSettings* poSettings, std::string* psError)
{
    std::string sError;
    const char* pszTried = nullptr; // the type the extension chose, not tried again
    Image* poImage = nullptr;
    if (RECOIL_IsOurFile(pszName))
    {
        // Retro pictures keep square pixels: the input aspect-ratio settings do not apply.
        poImage = poReadImageWithRECOIL(pszName);
        if (poImage) return poImage;
        sError = "the file is missing, damaged or not a supported picture";
    }
    if (bIsReadableExtension(pszName))
    {
        vClearLastError();
        poImage = poReadImageFromFile(pszName, poSettings);
        if (poImage) return poImage;
        // A truncated file is worth saying so; other reasons went to standard error.
        sError = strstr(pszLastError(), g_szFileEndsEarly)
                     ? g_szFileEndsEarly
                     : "the file is missing, damaged or not a supported picture";
        if (bEndsWith(pszName, ".png"))
            pszTried = ".png";
        else if (bEndsWith(pszName, ".jpg") || bEndsWith(pszName, ".jpeg"))
            pszTried = ".jpg";
    }
    else if (bEndsWith(pszName, ".tga"))
    {
        // Targa has no signature: the extension alone names it.
        poImage = poReadModernPicture(pszName, "tga", poSettings, &sError);
        if (poImage) return poImage;
        pszTried = "tga";
    }
    // The other modern formats are told by their first bytes, below: a name never
    // hands a file to a reader its contents do not match.

    unsigned char aucHead[16] = {};
    size_t uiHead = 0;
    if (FILE* poFile = fopen(pszName, "rb"))
    {
        uiHead = fread(aucHead, 1, sizeof(aucHead), poFile);
        fclose(poFile);
    }
    else
    {
        if (psError) *psError = sError.empty() ? std::string(strerror(errno)) : sError;
        return nullptr;
    }
    const char* pszType = pszSniffPictureType(aucHead, uiHead);
    if (!pszType || (pszTried && strcmp(pszType, pszTried) == 0))
    {
        if (psError) *psError = sError.empty() ? "unknown file type" : sError;
        return nullptr;
    }
    if (bIsModernFormat(pszType))
        poImage = poReadModernPicture(pszName, pszType, poSettings, &sError);
    else if (pszType[0] == '.')
        poImage = poReadImageFromFileAs(pszName, pszType, poSettings);
    else
        poImage = poReadImageWithRECOILAs(pszName, pszType);
    if (!poImage && psError)
        *psError = sError.empty() ? "the file is damaged or not a supported picture" : sError;
    return poImage;
}
