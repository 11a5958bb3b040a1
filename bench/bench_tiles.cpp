// Tile budgets of Screen 2: time and picture quality of a photo (the sample picture),
// a pixel-art title and noisy colour waves (every cell its own tile) at 256 x 192, without a budget, with
// per-third budgets of 128, 64 and 32 tiles and with shared banks of 256, 128 and 64, and a plain greedy
// merging beside the budget's method for the shared banks.
//
// Quality: the mean CIEDE2000 difference between the encoded picture and the source,
// both seen from afar: blurred (Gaussian, sigma 1 pixel) in linear light, so that a
// dither pattern counts as the colour it mixes to. Counters: "dE" that mean, "x" it
// over the same picture's error without a budget.

#include "bench_util.h"
#include "qev/base/sample_picture.h"
#include "qev/color/color_delta.h"
#include "qev/color/palette.h"
#include "qev/msx/encoder_pattern.h"
#include "qev/msx/tile_budget.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace
{
constexpr int g_iWidth = 256;
constexpr int g_iHeight = 192;

// The sample picture fitted to the screen: smooth ramps, bars and soft discs.
Image* poPhoto()
{
    Image* po = poCreateSamplePicture();
    po->vFit(g_iWidth, g_iHeight, 1.0, FitMode_Fit, ResizeFilter_Auto, nullptr, Background_Black, 0);
    return po;
}

// A title screen as pixel art, all in MSX1 palette colours: a sky in ordered-dither
// bands with stars, hills, a brick ground, a frame, and block letters with a shadow.
Image* poPixelArt()
{
    Image* po = new Image(g_iWidth, g_iHeight, 3, Background_Black, 1.0);
    static const char* const g_apszWord[5] = {
        "X   X  XXX  X   X", "XX XX X     X   X", "X X X  XXX   X X ",
        "X   X     X  X X ", "X   X  XXX  X   X",
    };
    static const int g_aiBayer[4] = {0, 2, 3, 1}; // 2 x 2 thresholds of 4
    for (int y = 0; y < g_iHeight; y++)
        for (int x = 0; x < g_iWidth; x++)
        {
            // Sky: dark blue to light blue in 24-line bands, each a 2 x 2 dither level.
            const int iLevel = (y % 24) / 6;
            int c = g_aiBayer[(y & 1) * 2 + (x & 1)] < iLevel ? 5 : 4;
            if ((x * 7919 + y * 104729) % 211 == 0) c = 15; // stars
            const int iHill = 110 + static_cast<int>(lround(10.0 * sin(x / 17.0) + 5.0 * sin(x / 7.0)));
            if (y >= iHill) c = (x + y) % 9 == 0 ? 3 : 12; // grass with flowers
            if (y >= 150) c = (y - 150) % 6 == 0 || (x + ((y - 150) / 6) * 6) % 12 == 0 ? 14 : 9; // bricks
            if (x < 4 || x >= 252 || y < 4 || y >= 188) c = 15;                                   // frame
            const int wx = (x - 30) / 11, wy = (y - 26) / 11;                                     // letters
            if (x >= 30 && y >= 26 && wy < 5 && wx < 17 && g_apszWord[wy][wx] == 'X')
                c = 11;
            else if (x >= 33 && y >= 29 && (y - 29) / 11 < 5 && (x - 33) / 11 < 17 &&
                     g_apszWord[(y - 29) / 11][(x - 33) / 11] == 'X')
                c = 1; // shadow
            po->vSetPixel(x, y, &g_aoMSX1Palette[c]);
        }
    return po;
}

// sRGB byte to linear light and back.
double fLinear(int i)
{
    const double f = i / 255.0;
    return f <= 0.04045 ? f / 12.92 : pow((f + 0.055) / 1.055, 2.4);
}
unsigned char ucFromLinear(double f)
{
    f = f <= 0.0031308 ? 12.92 * f : 1.055 * pow(f, 1 / 2.4) - 0.055;
    const long l = lround(f * 255.0);
    return static_cast<unsigned char>(l < 0 ? 0 : (l > 255 ? 255 : l));
}

// The picture blurred in linear light, as 8-bit colours, row by row.
std::vector<Color> aoSeenFromAfar(const Image* po)
{
    static const double g_afKernel[7] = {0.00443, 0.05400, 0.24204, 0.39894, 0.24204, 0.05400, 0.00443};
    std::vector<std::array<double, 3>> aoLinear(g_iWidth * g_iHeight), aoPass(g_iWidth * g_iHeight);
    for (int y = 0; y < g_iHeight; y++)
        for (int x = 0; x < g_iWidth; x++)
        {
            const Color o = po->oGetPixel(x, y);
            aoLinear[y * g_iWidth + x] = {fLinear(o.r), fLinear(o.g), fLinear(o.b)};
        }
    for (int iPass = 0; iPass < 2; iPass++)
    {
        for (int y = 0; y < g_iHeight; y++)
            for (int x = 0; x < g_iWidth; x++)
            {
                std::array<double, 3> a = {0, 0, 0};
                double fSum = 0.0;
                for (int k = -3; k <= 3; k++)
                {
                    const int sx = iPass == 0 ? x + k : x, sy = iPass == 0 ? y : y + k;
                    if (sx < 0 || sx >= g_iWidth || sy < 0 || sy >= g_iHeight) continue;
                    for (int c = 0; c < 3; c++)
                        a[c] += g_afKernel[k + 3] * aoLinear[sy * g_iWidth + sx][c];
                    fSum += g_afKernel[k + 3];
                }
                for (int c = 0; c < 3; c++)
                    aoPass[y * g_iWidth + x][c] = a[c] / fSum;
            }
        std::swap(aoLinear, aoPass);
    }
    std::vector<Color> ao(g_iWidth * g_iHeight);
    for (size_t i = 0; i < ao.size(); i++)
        ao[i] = {ucFromLinear(aoLinear[i][0]), ucFromLinear(aoLinear[i][1]), ucFromLinear(aoLinear[i][2]),
                 255};
    return ao;
}

double fErrorFromAfar(const Image* poSource, const Image* poEncoded)
{
    const std::vector<Color> aoA = aoSeenFromAfar(poSource), aoB = aoSeenFromAfar(poEncoded);
    double fSum = 0.0;
    for (size_t i = 0; i < aoA.size(); i++)
        fSum += sqrt(fColorDelta(&aoA[i], &aoB[i], 1.0, 255.0, DeltaMethod_CIEDE2000, 1.0));
    return fSum / static_cast<double>(aoA.size());
}

// The plain method to compare with: encode without a budget, then merge the two
// tiles whose painted pixels differ least (colour distance of the palette colours)
// until the bank is within the budget, the less used giving way; no re-fit, no
// diffusion across tiles.
void vGreedyMerge(Image* poSource, Palette* poPalette, int iBudget, Image* poOut)
{
    std::vector<unsigned char> aucPatterns(6144), aucColors(6144);
    oEncodeScreen2(poSource, poPalette, 0.8, nullptr, 1.0, DeltaMethod_RGB, 1.0, nullptr, aucPatterns.data(),
                   aucColors.data());
    auto iPixel = [&](int n, int p)
    {
        const int l = p >> 3;
        const bool b = aucPatterns[8 * n + l] & (0x80 >> (p & 7));
        return b ? aucColors[8 * n + l] >> 4 : aucColors[8 * n + l] & 15;
    };
    std::map<std::vector<unsigned char>, int> oIndex;
    std::vector<std::vector<unsigned char>> aaucTiles;
    std::vector<int> aiTile(768), aiUses;
    for (int n = 0; n < 768; n++)
    {
        std::vector<unsigned char> auc(64);
        for (int p = 0; p < 64; p++)
            auc[p] = static_cast<unsigned char>(iPixel(n, p));
        auto o = oIndex.emplace(auc, static_cast<int>(aaucTiles.size()));
        if (o.second)
        {
            aaucTiles.push_back(auc);
            aiUses.push_back(0);
        }
        aiTile[n] = o.first->second;
        aiUses[aiTile[n]]++;
    }
    double afPair[16][16];
    for (int i = 0; i < 16; i++)
        for (int j = 0; j < 16; j++)
            afPair[i][j] = fColorDelta(&poPalette->m_aoColors[i], &poPalette->m_aoColors[j], 1.0, 255.0,
                                       DeltaMethod_RGB, 1.0);
    const int iTiles = static_cast<int>(aaucTiles.size());
    std::vector<double> afDistance(static_cast<size_t>(iTiles) * iTiles);
    for (int a = 0; a < iTiles; a++)
        for (int b = 0; b < iTiles; b++)
        {
            double f = 0.0;
            for (int p = 0; p < 64; p++)
                f += afPair[aaucTiles[a][p]][aaucTiles[b][p]];
            afDistance[static_cast<size_t>(a) * iTiles + b] = f;
        }
    std::vector<int> aiInto(iTiles);
    for (int t = 0; t < iTiles; t++)
        aiInto[t] = t;
    for (int iActive = iTiles; iActive > iBudget; iActive--)
    {
        int iA = -1, iB = -1;
        for (int a = 0; a < iTiles; a++)
            for (int b = a + 1; b < iTiles && aiInto[a] == a; b++)
                if (aiInto[b] == b && (iA < 0 || afDistance[static_cast<size_t>(a) * iTiles + b] <
                                                     afDistance[static_cast<size_t>(iA) * iTiles + iB]))
                {
                    iA = a;
                    iB = b;
                }
        if (aiUses[iA] < aiUses[iB]) std::swap(iA, iB);
        aiInto[iB] = iA;
        aiUses[iA] += aiUses[iB];
        for (int t = 0; t < iTiles; t++)
            if (aiInto[t] == iB) aiInto[t] = iA;
    }
    for (int n = 0; n < 768; n++)
        for (int p = 0; p < 64; p++)
            poOut->vSetPixel(8 * (n % 32) + (p & 7), 8 * (n / 32) + (p >> 3),
                             &poPalette->m_aoColors[aaucTiles[aiInto[aiTile[n]]][p]]);
}

enum tdMethod
{
    Method_Budget,
    Method_Greedy
};

void vTiles(benchmark::State& oState, int iPicture, int iTiles, bool bShared, tdMethod eMethod)
{
    std::unique_ptr<Image> poSource(iPicture == 0   ? poPhoto()
                                    : iPicture == 1 ? poPixelArt()
                                                    : poPhotoLike(g_iWidth, g_iHeight, 7, 24));
    Palette oPalette;
    oPalette.vLoadFromImage(poSource.get(), 16, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    oPalette.vResize(16);
    Image oOut(g_iWidth, g_iHeight, 3, Background_Black, 1.0);
    Image oUnlimited(g_iWidth, g_iHeight, 3, Background_Black, 1.0);
    oWriteImageToScreen2(poSource.get(), &oPalette, 0.8, nullptr, CompressionType_None, &oUnlimited, 1.0,
                         true, DeltaMethod_RGB, 1.0);
    const tdTileBudget oBudget = {iTiles, bShared};
    for (auto _ : oState)
    {
        if (eMethod == Method_Greedy)
            vGreedyMerge(poSource.get(), &oPalette, iTiles, &oOut);
        else if (iTiles == 0)
            oWriteImageToScreen2(poSource.get(), &oPalette, 0.8, nullptr, CompressionType_None, &oOut, 1.0,
                                 true, DeltaMethod_RGB, 1.0);
        else
            oWriteImageToScreen2WithBudget(poSource.get(), &oPalette, 0.8, nullptr, CompressionType_None,
                                           &oOut, 1.0, DeltaMethod_RGB, 1.0, oBudget);
    }
    const double fError = fErrorFromAfar(poSource.get(), &oOut);
    oState.counters["dE"] = fError;
    const double fUnlimited = fErrorFromAfar(poSource.get(), &oUnlimited);
    oState.counters["x"] = fUnlimited > 0.0 ? fError / fUnlimited : 1.0;
    int aiCounts[3];
    vCountTiles(&oOut, bShared, aiCounts);
    oState.counters["tiles"] = aiCounts[0] + aiCounts[1] + aiCounts[2];
}

void vRegister()
{
    struct tdCase
    {
        const char* pszName;
        int iTiles;
        bool bShared;
        tdMethod eMethod;
    };
    static const tdCase g_aoCases[] = {
        {"none", 0, false, Method_Budget},
        {"third 128", 128, false, Method_Budget},
        {"third 64", 64, false, Method_Budget},
        {"third 32", 32, false, Method_Budget},
        {"shared 256", 256, true, Method_Budget},
        {"shared 128", 128, true, Method_Budget},
        {"shared 64", 64, true, Method_Budget},
        {"shared 256 greedy", 256, true, Method_Greedy},
        {"shared 128 greedy", 128, true, Method_Greedy},
        {"shared 64 greedy", 64, true, Method_Greedy},
    };
    static const char* const g_apszPictures[3] = {"photo/", "pixel art/", "noisy waves/"};
    for (int iPicture = 0; iPicture < 3; iPicture++)
        for (const tdCase& o : g_aoCases)
            benchmark::RegisterBenchmark(
                (std::string("Tiles/") + g_apszPictures[iPicture] + o.pszName).c_str(), vTiles, iPicture,
                o.iTiles, o.bShared, o.eMethod)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
}

const bool g_bRegistered = (vRegister(), true);
} // namespace
