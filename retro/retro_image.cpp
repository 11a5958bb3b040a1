#include "retro/retro_image.h"

#include "qev/base/image.h"

#include <cstdio>
#include <cstdlib>

Image* poImageFromRECOIL(const RECOIL* poDecoder)
{
    const int iWidth = RECOIL_GetWidth(poDecoder);
    const int iHeight = RECOIL_GetHeight(poDecoder);
    const int* piPixels = RECOIL_GetPixels(poDecoder);
    if (!piPixels || !bImageSizeValid(iWidth, iHeight, 3)) return nullptr;
    Image* poImage = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    if (!poImage->m_pucTexels)
    {
        delete poImage;
        return nullptr;
    }
    for (int y = 0; y < iHeight; y++)
    {
        // Pictures store their rows bottom-up.
        unsigned char* pucRow = poImage->m_pucTexels + static_cast<long long>(iHeight - 1 - y) * iWidth * 3;
        const int* piRow = piPixels + static_cast<long long>(y) * iWidth;
        for (int x = 0; x < iWidth; x++)
        {
            pucRow[3 * x] = static_cast<unsigned char>(piRow[x] >> 16);
            pucRow[3 * x + 1] = static_cast<unsigned char>(piRow[x] >> 8);
            pucRow[3 * x + 2] = static_cast<unsigned char>(piRow[x]);
        }
    }
    return poImage;
}

// No retro format comes near this size; a larger file is not read whole.
static const long g_lMaxRetroFileSize = 64L * 1024 * 1024;

// The whole file in a new buffer (malloc, caller frees) and its length; null for
// a file that cannot be opened or read, or is larger than g_lMaxRetroFileSize.
static unsigned char* pucReadWholeFile(const char* pszName, int* piLength)
{
    FILE* poFile = fopen(pszName, "rb");
    if (!poFile) return nullptr;
    unsigned char* pucData = nullptr;
    long lLength = -1;
    if (fseek(poFile, 0, SEEK_END) == 0) lLength = ftell(poFile);
    if (lLength >= 0 && lLength <= g_lMaxRetroFileSize && fseek(poFile, 0, SEEK_SET) == 0)
    {
        pucData = static_cast<unsigned char*>(malloc(static_cast<size_t>(lLength) + 1));
        if (pucData &&
            fread(pucData, 1, static_cast<size_t>(lLength), poFile) != static_cast<size_t>(lLength))
        {
            free(pucData);
            pucData = nullptr;
        }
    }
    fclose(poFile);
    *piLength = static_cast<int>(lLength);
    return pucData;
}

Image* poReadImageWithRECOIL(const char* pszName)
{
    return poReadImageWithRECOILAs(pszName, pszName);
}

Image* poReadImageWithRECOILAs(const char* pszName, const char* pszFormatName)
{
    if (!RECOIL_IsOurFile(pszFormatName)) return nullptr;
    int iLength = 0;
    unsigned char* pucData = pucReadWholeFile(pszName, &iLength);
    if (!pucData) return nullptr;
    Image* poImage = nullptr;
    RECOIL* poDecoder = RECOIL_New();
    if (poDecoder && RECOIL_Decode(poDecoder, pszFormatName, pucData, iLength))
        poImage = poImageFromRECOIL(poDecoder);
    RECOIL_Delete(poDecoder);
    free(pucData);
    return poImage;
}
