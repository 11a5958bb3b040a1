#include "input/picture_reader.h"

#include "input/qt_picture_reader.h"
#include "input/tga_reader.h"
#include "qev/base/report.h"
#include "qev/files/readerwriter.h"
#include "retro/retro_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const char* const g_apszModernExtensions[] = {".gif", ".bmp", ".dib", ".tif", ".tiff", ".webp", ".tga", ".pnm",
                                              ".pbm", ".pgm", ".ppm", ".ico", ".xpm",  ".xbm", nullptr};

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
//                                    offset bytes                  length type
static const tdSignature g_aoSignatures[] = {
    {0, "\x89PNG\r\n\x1a\n", 8, ".png"},
    {0, "\xFF\xD8\xFF",      3, ".jpg"},
    {0, "GIF87a",            6, "qt"},
    {0, "GIF89a",            6, "qt"},
    {0, "BM",                2, "qt"},
    {0, "II*\0",             4, "qt"},
    {0, "MM\0*",             4, "qt"},
    {8, "WEBP",              4, "qt"},
    {8, "ILBM",              4, "x.iff"},
    {8, "PBM ",              4, "x.iff"},
};

const char* pszSniffPictureType(const unsigned char* pucHead, size_t uiSize)
{
    for (const tdSignature& o : g_aoSignatures)
        if (uiSize >= o.uiOffset + o.uiLength && memcmp(pucHead + o.uiOffset, o.pszBytes, o.uiLength) == 0)
        {
            if (o.uiOffset == 8 && memcmp(pucHead, strcmp(o.pszType, "qt") == 0 ? "RIFF" : "FORM", 4) != 0)
                continue;
            return o.pszType;
        }
    // Netpbm: "P1" to "P6" and white space.
    if (uiSize >= 3 && pucHead[0] == 'P' && pucHead[1] >= '1' && pucHead[1] <= '6' &&
        (pucHead[2] == ' ' || pucHead[2] == '\n' || pucHead[2] == '\r' || pucHead[2] == '\t'))
        return "qt";
    return nullptr;
}

static bool bHasModernExtension(const char* pszName)
{
    for (const char* const* ppsz = g_apszModernExtensions; *ppsz; ppsz++)
        if (bEndsWith(pszName, *ppsz)) return true;
    return false;
}

static Image* poReadWithQt(const char* pszName, const char* pszFormat, const tdSettings* poSettings,
                           std::string* psError)
{
    Image* poImage = poReadImageWithQt(pszName, pszFormat, psError);
    if (poImage) vApplyInputAspectRatio(poImage, poSettings);
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
        poImage = poReadImageFromFile(pszName, poSettings);
        if (poImage) return poImage;
        sError = "the file is missing, damaged or not a supported picture";
        if (bEndsWith(pszName, ".png"))
            pszTried = ".png";
        else if (bEndsWith(pszName, ".jpg") || bEndsWith(pszName, ".jpeg"))
            pszTried = ".jpg";
    }
    else if (bHasModernExtension(pszName))
    {
        // Qt's readers fall back on the contents by themselves.
        if (bEndsWith(pszName, ".tga"))
        {
            poImage = poReadTGAFile(pszName, &sError);
            if (poImage) vApplyInputAspectRatio(poImage, poSettings);
        }
        else
            poImage = poReadWithQt(pszName, nullptr, poSettings, &sError);
        if (poImage) return poImage;
        pszTried = "qt";
    }

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
    if (strcmp(pszType, "qt") == 0)
        poImage = poReadWithQt(pszName, "", poSettings, &sError);
    else if (pszType[0] == '.')
        poImage = poReadImageFromFileAs(pszName, pszType, poSettings);
    else
        poImage = poReadImageWithRECOILAs(pszName, pszType);
    if (!poImage && psError) *psError = sError.empty() ? "the file is damaged or not a supported picture" : sError;
    return poImage;
}
