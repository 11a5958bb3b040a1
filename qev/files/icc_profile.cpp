// ICC profiles through Little CMS.

#include "qev/files/icc_profile.h"

#include <cstdlib>
#include <lcms2.h>

namespace
{
// Releases what Little CMS handed out, whatever way the function leaves.
struct tdProfiles
{
    cmsHPROFILE hIn = nullptr;
    cmsHPROFILE hOut = nullptr;
    cmsHTRANSFORM hTransform = nullptr;
    ~tdProfiles()
    {
        if (hTransform) cmsDeleteTransform(hTransform);
        if (hIn) cmsCloseProfile(hIn);
        if (hOut) cmsCloseProfile(hOut);
    }
};

// Opens the profile when its colours are of the given space and builds its
// transform to sRGB.
bool bOpen(tdProfiles* po, const unsigned char* pucProfile, size_t uiSize, cmsColorSpaceSignature eSpace,
           cmsUInt32Number uiInFormat, cmsUInt32Number uiOutFormat, cmsUInt32Number uiFlags)
{
    if (!pucProfile || uiSize < 128 || uiSize > 0x7FFFFFFF) return false;
    po->hIn = cmsOpenProfileFromMem(pucProfile, static_cast<cmsUInt32Number>(uiSize));
    if (!po->hIn || cmsGetColorSpace(po->hIn) != eSpace) return false;
    po->hOut = cmsCreate_sRGBProfile();
    if (!po->hOut) return false;
    po->hTransform = cmsCreateTransform(po->hIn, uiInFormat, po->hOut, uiOutFormat, INTENT_PERCEPTUAL, uiFlags);
    return po->hTransform != nullptr;
}
} // namespace

bool bConvertProfileToSRGB(Image* poImage, const unsigned char* pucProfile, size_t uiSize)
{
    if (!poImage || !poImage->m_pucTexels || (poImage->m_iTexelSize != 3 && poImage->m_iTexelSize != 4))
        return false;
    const bool bAlpha = poImage->m_iTexelSize == 4;
    tdProfiles oProfiles;
    if (!bOpen(&oProfiles, pucProfile, uiSize, cmsSigRgbData, bAlpha ? TYPE_RGBA_8 : TYPE_RGB_8,
               bAlpha ? TYPE_RGBA_8 : TYPE_RGB_8, bAlpha ? cmsFLAGS_COPY_ALPHA : 0))
        return false;

    // An sRGB profile under another name must not move any colour by a level:
    // try a grid of colours through it first.
    constexpr int iSteps = 17;
    unsigned char aucGrid[iSteps * iSteps * iSteps * 4];
    unsigned char aucMapped[sizeof(aucGrid)];
    const int iTexel = poImage->m_iTexelSize;
    int n = 0;
    for (int r = 0; r < iSteps; r++)
        for (int g = 0; g < iSteps; g++)
            for (int b = 0; b < iSteps; b++, n++)
            {
                unsigned char* puc = aucGrid + n * iTexel;
                puc[0] = static_cast<unsigned char>(r * 255 / (iSteps - 1));
                puc[1] = static_cast<unsigned char>(g * 255 / (iSteps - 1));
                puc[2] = static_cast<unsigned char>(b * 255 / (iSteps - 1));
                if (bAlpha) puc[3] = 255;
            }
    cmsDoTransform(oProfiles.hTransform, aucGrid, aucMapped, static_cast<cmsUInt32Number>(n));
    bool bIdentity = true;
    for (int i = 0; i < n * iTexel && bIdentity; i++)
        bIdentity = abs(aucGrid[i] - aucMapped[i]) <= 1;
    if (bIdentity) return false;

    const size_t uiRow = static_cast<size_t>(poImage->m_iWidth);
    for (int y = 0; y < poImage->m_iHeight; y++)
    {
        unsigned char* pucRow = poImage->m_pucTexels + static_cast<size_t>(y) * uiRow * iTexel;
        cmsDoTransform(oProfiles.hTransform, pucRow, pucRow, static_cast<cmsUInt32Number>(uiRow));
    }
    return true;
}

void vConvertCMYKToSRGB(const unsigned char* pucCMYK, unsigned char* pucRGB, size_t uiPixels, bool bInverted,
                        const unsigned char* pucProfile, size_t uiSize)
{
    tdProfiles oProfiles;
    // Little CMS counts ink up from 0; the _REV layout reads the inverted bytes.
    if (uiPixels <= 0xFFFFFFFFu &&
        bOpen(&oProfiles, pucProfile, uiSize, cmsSigCmykData, bInverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, TYPE_RGB_8,
              0))
    {
        cmsDoTransform(oProfiles.hTransform, pucCMYK, pucRGB, static_cast<cmsUInt32Number>(uiPixels));
        return;
    }
    for (size_t i = 0; i < uiPixels; i++)
    {
        const unsigned char* puc = pucCMYK + 4 * i;
        const int iKeep = bInverted ? puc[3] : 255 - puc[3];
        for (int c = 0; c < 3; c++)
        {
            const int iInk = bInverted ? puc[c] : 255 - puc[c];
            pucRGB[3 * i + c] = static_cast<unsigned char>((iInk * iKeep + 127) / 255);
        }
    }
}
