#pragma once

// Helpers of the retro-format tests: decoding through the RECOIL calls, and
// files built byte by byte.

#include "tests/support/testutil.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

typedef std::vector<unsigned char> tdBytes;
// A picture: 0xRRGGBB pixels, top row first.
struct tdRetroPixels
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    std::vector<int> m_aiPixels;
    int iAt(int iX, int iY) const { return m_aiPixels[static_cast<size_t>(iY) * m_iWidth + iX]; }
};

// RECOIL_New, RECOIL_Decode, the getters, RECOIL_Delete; false when the decode
// fails (width -1 when the decoder still reports a picture after failing).
// oDecoded expects success (a test failure otherwise).
bool bDecodeRetro(const std::string& sName, const tdBytes& aucContent, tdRetroPixels* poPixels);
tdRetroPixels oDecoded(const std::string& sName, const tdBytes& aucContent);
// The bytes with the patches (offset, byte) applied; vExpectRefused expects each
// patch applied alone, and each cut (a length kept, zeros added beyond the end,
// or below 0 the bytes dropped at the end), to make the file refused.
tdBytes aucPatched(tdBytes auc, std::initializer_list<std::pair<int, int>> aoPatches);
void vExpectRefused(const char* pszName, const tdBytes& auc,
                    std::initializer_list<std::pair<int, int>> aoPatches, std::initializer_list<int> aiCuts);
// 3-bit levels widened to 8 bits; colour iIndex (0xRRGGBB) of a string of red,
// green, blue levels 0..7.
extern const int g_aiLevel3[8];
int iLevelColor(const char* pszLevels, int iIndex);
// Bytes typed as numbers (each taken modulo 256), random bytes, and an MSX BSAVE
// file of video memory 0..iEnd (inclusive) taken from aucVRAM.
tdBytes aucBytes(std::initializer_list<int> ai);
tdBytes aucRandom(size_t uiCount, uint32_t uiSeed);
tdBytes aucBSAVE(const tdBytes& aucVRAM, int iEnd);
