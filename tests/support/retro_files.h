#pragma once

// Helpers of the retro-format tests: decoding through the RECOIL calls, pictures
// written and read by netpbm, and layouts netpbm cannot write, built here.

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
bool bDecodeRetro(const std::string& sName, const tdBytes& aucContent, tdRetroPixels* poPixels);
// The same, expecting success (a test failure otherwise).
tdRetroPixels oDecoded(const std::string& sName, const tdBytes& aucContent);
// Each patch (offset, byte) applied alone, and each cut (a length kept, or
// below 0 the bytes dropped at the end), must make the file refused.
void vExpectRefused(const char* pszName, const tdBytes& auc,
                    std::initializer_list<std::pair<int, int>> aoPatches, std::initializer_list<int> aiCuts);
tdBytes aucPatched(tdBytes auc, std::initializer_list<std::pair<int, int>> aoPatches);
// Colour iIndex (0xRRGGBB) of a string of red, green, blue levels 0..7.
int iLevelColor(const char* pszLevels, int iIndex);

// Pixels of iColors distinct colours (channels: levels 0..iLevels - 1 widened to
// 8 bits, rounded; black and white for 2 colours of 2 levels) in runs of 1 to 40,
// so that packers find runs; every colour at least once.
tdRetroPixels oRunPicture(int iWidth, int iHeight, int iColors, int iLevels, uint32_t uiSeed);

// Writes the picture as in.pnm (P6 of that maxval, or P4 for maxval 1, black
// where a pixel is 0), runs "sWriter in.pnm" in the folder and returns its
// standard output (empty when the tool fails).
tdBytes aucNetpbmWrite(const tdTempFolder& oFolder, const tdRetroPixels& oPicture, int iMaxval,
                       const std::string& sWriter);
// Runs "sReader file" on the bytes and reads its raw PNM output, every sample
// widened to 8 bits (rounded), PBM black as 0x000000.
bool bNetpbmRead(const tdTempFolder& oFolder, const std::string& sReader, const tdBytes& aucFile,
                 tdRetroPixels* poPicture);

// A Degas file (.pi1-.pi3) as Degas Elite compressed (.pc1-.pc3): resolution
// word with bit 15 set, same palette, each line stored plane by plane, each
// plane line one literal block of the PackBits scheme.
tdBytes aucDegasElite(const tdBytes& aucDegas);

// IFF: a FORM of the type holding the chunks (id, data) with their pad bytes,
// and the data of a FORM's first chunk with the id (empty when there is none).
tdBytes aucIFF(const char* pszType, const std::vector<std::pair<std::string, tdBytes>>& aoChunks);
tdBytes aucIFFChunk(const tdBytes& aucForm, const char* pszID);
// The 20 bytes of a BMHD chunk (aspect 1 : 1, position, transparent colour and
// page size 0).
tdBytes aucBMHD(int iWidth, int iHeight, int iPlanes, int iMasking, int iCompression);
// Bytes typed as numbers, and random bytes.
tdBytes aucBytes(std::initializer_list<int> ai);
tdBytes aucRandom(size_t uiCount, uint32_t uiSeed);

// MSX BSAVE file of video memory iStart..iEnd (inclusive) taken from aucVRAM.
tdBytes aucBSAVE(const tdBytes& aucVRAM, int iStart, int iEnd);
