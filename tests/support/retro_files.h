#pragma once

// Helpers of the retro-format tests: files of every format built here from the
// format descriptions (independent of the decoders), runs of netpbm tools and
// PNM files, and decoding through the six RECOIL calls.

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<unsigned char> tdBytes;

// A picture decoded by RECOIL: 0xRRGGBB pixels, top row first.
struct tdRetroPixels
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    std::vector<int> m_aiPixels;
    int iAt(int iX, int iY) const { return m_aiPixels[static_cast<size_t>(iY) * m_iWidth + iX]; }
};

// RECOIL_New, RECOIL_Decode with the name, the getters, RECOIL_Delete. False
// when RECOIL_Decode fails (and then also checks that the decoder reports no
// picture).
bool bDecodeRetro(const std::string& sName, const tdBytes& aucContent, tdRetroPixels* poPixels);

// n-bit level widened to 8 bits, rounded: the documented expansion.
int iWiden(int iLevel, int iBits);

// The PackBits scheme written plainly: runs of three or more equal bytes become
// (1 - n, byte), everything else literal blocks of up to 128 bytes.
tdBytes aucPackBits(const unsigned char* pucData, size_t uiLength);

// Pixel values 0..iLimit - 1 in runs of 1 to 40 (so that packers find runs),
// the same for the same seed.
std::vector<int> aiRunValues(size_t uiCount, int iLimit, uint32_t uiSeed);

// Atari ST screen: pixel values of the resolution's native size (320 x 200,
// 640 x 200, 640 x 400), palette words 0x0RGB.
struct tdTestSTScreen
{
    int m_iResolution = 0;
    unsigned m_auiPalette[16] = {};
    std::vector<int> m_aiValues;
};
int iSTWidth(int iResolution);
int iSTHeight(int iResolution);
int iSTPlanes(int iResolution);
// The 32000 bytes of word-interleaved screen memory.
tdBytes aucSTScreenMemory(const tdTestSTScreen& oScreen);
// Degas (.pi?) or, compressed, Degas Elite (.pc?, each plane line packed apart).
tdBytes aucDegas(const tdTestSTScreen& oScreen, bool bCompressed);
tdBytes aucNEOchrome(const tdTestSTScreen& oScreen);
// Random pixel runs in a random palette of 3-bit ST levels (colour 0 with bit 0
// set, so that high resolution shows colour 0 white).
tdTestSTScreen oRandomSTScreen(int iResolution, uint32_t uiSeed);

// IFF ILBM or PBM (chunky). m_auiValues: pixel values top row first (colour-map
// index, or 0xBBGGRR bit order for 24 planes: plane p holds bit p).
struct tdTestILBM
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iPlanes = 0;
    int m_iMasking = 0;      // 1 writes a mask plane (all set) after each row's planes
    bool m_bCompress = true; // ByteRun1, each plane row packed apart
    bool m_bChunky = false;  // "PBM ": one byte per pixel, rows padded to even
    bool m_bCAMG = false;
    uint32_t m_uiCAMG = 0;
    int m_iXAspect = 10;
    int m_iYAspect = 10;
    tdBytes m_aucCMAP; // red, green, blue per colour; none when empty
    std::vector<uint32_t> m_auiValues;
};
tdBytes aucILBM(const tdTestILBM& oILBM);

// PC Paintbrush. m_auiValues: palette indices, or 0xRRGGBB for 8 bits x 3 planes.
struct tdTestPCX
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iBits = 8;
    int m_iPlanes = 1;
    bool m_bRLE = true;
    bool m_bRunsAcrossLines = false; // one run-length stream over the whole picture
    int m_iXMin = 0;
    int m_iYMin = 0;
    int m_iPadBytes = 0; // bytes per line beyond the minimum (even total kept)
    unsigned char m_acHeaderPalette[48] = {};
    tdBytes m_aucVGAPalette; // 768 bytes written after 0x0C; none when empty
    std::vector<uint32_t> m_auiValues;
};
tdBytes aucPCX(const tdTestPCX& oPCX);

// MacPaint from 720 lines of 72 bytes (set bits black).
tdBytes aucMacPaint(const tdBytes& aucBits, bool bMacBinary);

// GEM bit image; lines repeated are stored with vertical replication, runs of
// 0x00 and 0xFF as solid runs, repeated patterns as pattern runs, the rest as
// literal blocks, so that every code appears.
struct tdTestGEM
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iPlanes = 1;
    int m_iPatternLength = 2;
    int m_iPixelWidth = 85;
    int m_iPixelHeight = 85;
    std::vector<int> m_aiXIMG; // red, green, blue 0..1000 per colour; no XIMG when empty
    std::vector<int> m_aiValues;
};
tdBytes aucGEM(const tdTestGEM& oGEM);

// MSX BSAVE file of video memory iStart..iEnd (inclusive) taken from aucVRAM.
tdBytes aucBSAVE(const tdBytes& aucVRAM, int iStart, int iEnd);

// netpbm and other shell tools.
std::string sShellQuote(const std::string& s);
bool bHaveTool(const char* pszTool);
// Runs the command through the shell with its standard error discarded; true on
// exit 0.
bool bRunShell(const std::string& sCommand);

// A PNM file (P1-P6) as red, green, blue samples with their maxval; PBM black
// (1) becomes 0 and white 1, with maxval 1.
struct tdPNM
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iMaxval = 0;
    std::vector<int> m_aiSamples;
    // The pixel widened to 8 bits per channel (rounded), as 0xRRGGBB.
    int iRGBAt(int iX, int iY) const;
};
bool bReadPNM(const std::string& sName, tdPNM* poPNM);
bool bWritePPM(const std::string& sName, int iWidth, int iHeight, const std::vector<int>& aiRGB);
// Bits: 1 black.
bool bWritePBM(const std::string& sName, int iWidth, int iHeight, const std::vector<unsigned char>& aucBlack);
