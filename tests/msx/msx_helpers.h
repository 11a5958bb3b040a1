#pragma once

// Helpers of the MSX tests: bytes typed as hexadecimal text, picture comparison, a
// palette of off-level colours and video memory loading.

#include "tests/support/codecs.h"
#include "tests/support/testutil.h"

#include "qev/base/dynamic_array.h"
#include "qev/color/palette.h"
#include "qev/msx/vdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>

// "00 0A FF" -> {0x00, 0x0A, 0xFF}.
inline tdBytes aucHex(const char* psz)
{
    tdBytes auc;
    std::istringstream oIn(psz);
    for (unsigned int ui = 0; oIn >> std::hex >> ui;)
        auc.push_back(static_cast<unsigned char>(ui));
    return auc;
}

inline tdBytes aucBytes(const tdByteArray& oArray)
{
    return tdBytes(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize);
}

// Red, green and blue of lines 0..iLines-1 equal (all lines: -1, and the same height).
inline testing::AssertionResult bSamePicture(const Image* poExpected, const Image* poActual, int iLines = -1)
{
    const int iWidth = poExpected->m_iWidth;
    if (iWidth != poActual->m_iWidth || (iLines < 0 && poExpected->m_iHeight != poActual->m_iHeight))
        return testing::AssertionFailure() << "sizes differ";
    for (int i = 0; i < iWidth * (iLines < 0 ? poExpected->m_iHeight : iLines); i++)
    {
        const Color e = poExpected->oGetPixel(i % iWidth, i / iWidth),
                    a = poActual->oGetPixel(i % iWidth, i / iWidth);
        if (e.r != a.r || e.g != a.g || e.b != a.b)
            return testing::AssertionFailure() << "first difference at " << i % iWidth << "," << i / iWidth;
    }
    return testing::AssertionSuccess();
}

// Sixteen colours with distinct red, green and blue, none of them on an MSX level.
// clang-format off
const Color g_aoOddPalette[16] = {
    {3, 5, 7, 0},     {250, 251, 252, 0}, {200, 10, 20, 0}, {10, 200, 30, 0}, {20, 30, 200, 0}, {120, 121, 122, 0},
    {60, 61, 62, 0},  {190, 191, 40, 0},  {40, 190, 191, 0}, {191, 40, 190, 0}, {100, 50, 25, 0}, {25, 100, 50, 0},
    {50, 25, 100, 0}, {160, 80, 40, 0},   {40, 160, 80, 0}, {80, 40, 160, 0}};
// clang-format on

// A palette of the first iCount (1..16) colours given, count iCount.
inline Palette oFixedPalette(const Color* aoColors, int iCount)
{
    Color aoSixteen[16] = {};
    std::copy(aoColors, aoColors + iCount, aoSixteen);
    Palette oPalette(aoSixteen);
    oPalette.vResize(static_cast<unsigned int>(iCount));
    return oPalette;
}

// Copies bytes into video memory at iAddress and the palette's 16 colours into the chip.
inline void vLoad(VDP* poVDP, int iAddress, const tdBytes& auc, const Palette* poPalette = nullptr)
{
    memcpy(poVDP->m_pucVRAM + iAddress, auc.data(), auc.size());
    if (poPalette) std::copy(poPalette->m_aoColors, poPalette->m_aoColors + 16, poVDP->m_poPalette);
}
