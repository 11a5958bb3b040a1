#include "input/tga_reader.h"

#include <climits>
#include <cstring>
#include <stb/stb_image.h>

Image* poReadTGA(const unsigned char* puc, size_t uiSize, std::string* psError)
{
    auto vFail = [psError](const char* pszWhy)
    {
        if (psError) *psError = pszWhy;
        return nullptr;
    };
    if (uiSize > static_cast<size_t>(INT_MAX)) return vFail("file too large");
    const int iSize = static_cast<int>(uiSize);
    int iWidth = 0, iHeight = 0, iChannels = 0;
    if (!stbi_info_from_memory(puc, iSize, &iWidth, &iHeight, &iChannels))
        return vFail("not a readable Targa picture");
    if (!bImageSizeValid(iWidth, iHeight, 4)) return vFail("picture size beyond 16384 x 16384");
    // Grey and grey + alpha come out as RGB and RGBA.
    const int iTexel = iChannels == 2 || iChannels == 4 ? 4 : 3;
    stbi_uc* pucPixels = stbi_load_from_memory(puc, iSize, &iWidth, &iHeight, &iChannels, iTexel);
    if (!pucPixels) return vFail(stbi_failure_reason());
    Image* poImage = new Image(iWidth, iHeight, iTexel, Background_None, 1.0);
    if (!poImage->m_pucTexels)
    {
        delete poImage;
        poImage = vFail("out of memory");
    }
    else
    {
        // Pictures store their rows bottom first; stb gives them top first.
        const size_t uiRow = static_cast<size_t>(iWidth) * iTexel;
        for (int y = 0; y < iHeight; y++)
            memcpy(poImage->m_pucTexels + static_cast<size_t>(iHeight - 1 - y) * uiRow,
                   pucPixels + static_cast<size_t>(y) * uiRow, uiRow);
    }
    stbi_image_free(pucPixels);
    return poImage;
}
