#include "input/tga_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stb/stb_image.h>

Image* poReadTGAFile(const char* pszName, std::string* psError)
{
    auto vFail = [psError](const char* pszWhy) {
        if (psError) *psError = pszWhy;
        return nullptr;
    };
    FILE* poFile = fopen(pszName, "rb");
    if (!poFile) return vFail(strerror(errno));
    int iWidth = 0, iHeight = 0, iChannels = 0;
    Image* poImage = nullptr;
    if (!stbi_info_from_file(poFile, &iWidth, &iHeight, &iChannels))
        vFail("not a readable Targa picture");
    else if (!bImageSizeValid(iWidth, iHeight, 4))
        vFail("picture size beyond 16384 x 16384");
    else
    {
        // Grey and grey + alpha come out as RGB and RGBA.
        const int iTexel = iChannels == 2 || iChannels == 4 ? 4 : 3;
        stbi_uc* pucPixels = stbi_load_from_file(poFile, &iWidth, &iHeight, &iChannels, iTexel);
        if (!pucPixels)
            vFail(stbi_failure_reason());
        else
        {
            poImage = new Image(iWidth, iHeight, iTexel, Background_None, 1.0);
            if (!poImage->m_pucTexels)
            {
                delete poImage;
                poImage = nullptr;
                vFail("out of memory");
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
        }
    }
    fclose(poFile);
    return poImage;
}
