#pragma once

#include "qev/base/color.h"
#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/compress/lzw.h"

#include <string>

// Tile budgets of the pattern screens (Screens 2 and 4).
//
// A tile is one 8 x 8 character cell: 8 pattern bytes and 8 colour bytes. The screen
// has three thirds of 256 cells; each third's name table entries pick patterns from
// that third's bank of 256 tiles (patterns at 0000h + 2048 b, colours at 2000h +
// 2048 b). A budget allows at most m_iTiles distinct tiles in each third's bank, or,
// with m_bSharedBank, in one bank that all three thirds use.
//
// Budgeted streams have the Screen 2 layout with a real name table: third b's tiles
// stand in slots 0, 1, ... of bank b in order of first use (reading the cells row
// by row), and a cell's name is its tile's slot. A shared bank is stored in all three
// bank areas, so the stream shows right when loaded as it is; writers that set the
// registers may load bank 0 alone and mirror it (g_acSharedBankRegs). Unused slots
// are zero.
struct tdTileBudget
{
    int m_iTiles;       // 0: no budget; otherwise 1..255 per third, 1..256 shared
    bool m_bSharedBank; // one bank for the three thirds
};

constexpr int g_iMaxTilesPerThird = 255;
constexpr int g_iMaxTilesShared = 256;

// The budget the settings ask for: none unless the screen is a pattern screen, and
// a shared bank only with a budget.
tdTileBudget oGetTileBudget(const tdSettings* poSettings);

// R3 and R4 as (register, value, mask) triples that make the three thirds show bank 0
// of the colour and pattern tables: the table address bits 11 and 12 that pick the
// third are masked off (R3 bits 6-5, R4 bits 1-0).
extern const unsigned char g_acSharedBankRegs[2][3];

// oWriteImageToScreen2 under a budget (m_iTiles > 0). The picture is encoded as
// without one; identical tiles are shared (tiles that show the same pixels count as
// identical); while a bank holds more tiles than the budget, the tile whose cells
// cost least to move to their next best tile gives them up, cell and tile compared
// by the colour distance between the means of their 2 x 2 pixel blocks on the
// source picture (so that a dither counts as the colour it mixes to); each
// remaining tile then becomes the encoding of the mean of the source cells it
// stands for, and cells are chosen their tile anew with the error diffusion
// running across the tile borders. A bank already within the budget keeps exactly
// its tiles. The stream always carries the name table.
tdErrorTriple oWriteImageToScreen2WithBudget(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                             tdByteArray* poBuffer, tdCompressionType eCompression,
                                             Image* poOutput, double fPairExponent, tdDeltaMethod eMethod,
                                             double fWeight, const tdTileBudget& oBudget,
                                             const tdRunContext* poRun = nullptr);

// Distinct tiles (8 x 8 blocks of pixels) of a painted 256 x 192 pattern-screen
// picture: per third into aiCounts[0..2], or with bSharedBank the whole picture's into
// aiCounts[0] and 0 into the others. A picture of another size counts zero.
void vCountTiles(const Image* poPainted, bool bSharedBank, int aiCounts[3]);

// The distinct tiles of a painted picture converted with poSettings, as qev and the
// window show them: "A/B/C" per third, or "N shared" with a shared bank; empty
// unless it is a 256 x 192 pattern-screen picture (RAW output may be cut smaller).
std::string sDescribeTiles(const Image* poPainted, const tdSettings* poSettings);
