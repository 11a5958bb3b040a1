// Colour distances and palette building.
//
// BM_ColorDelta: one fColorDelta call on byte colours (scale 255), per method.
// BM_PaletteFromImage: Palette::vLoadFromImage on a 256 x 212 photo-like picture
// (smooth multi-colour waves with noise), per method and colour count, with the
// distance tables already computed by an earlier build (the steady state of a live
// preview). BM_PaletteFromImageFirst releases the tables before every build, so
// each build pays for computing them.

#include "qev/color_delta.h"
#include "qev/palette.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace
{
Image* poPhotoLike(int iWidth, int iHeight, uint32_t uiSeed, int iNoise)
{
    Image* po = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    uint32_t uiState = uiSeed * 2654435761u + 1;
    double fPhase = uiSeed * 0.7;
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
        {
            double afWave[3] = {
                sin(x * 0.031 + y * 0.012 + fPhase),
                sin(x * 0.011 - y * 0.027 + 2.0 * fPhase + 1.0),
                sin((x + y) * 0.019 + 3.0 * fPhase + 2.0) * cos(y * 0.023),
            };
            unsigned char auc[3];
            for (int c = 0; c < 3; c++)
            {
                uiState = uiState * 1664525u + 1013904223u;
                int iNoiseValue =
                    static_cast<int>((uiState >> 8) % static_cast<uint32_t>(iNoise + 1)) - iNoise / 2;
                int v = static_cast<int>(lround(127.5 + 127.5 * afWave[c])) + iNoiseValue;
                auc[c] = static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
            Color o = {auc[0], auc[1], auc[2], 255};
            po->vSetPixel(x, y, &o);
        }
    return po;
}

void BM_ColorDelta(benchmark::State& oState)
{
    const tdDeltaMethod eMethod = static_cast<tdDeltaMethod>(oState.range(0));
    std::vector<Color> aoColors(1024);
    uint32_t uiState = 12345;
    for (Color& o : aoColors)
    {
        uiState = uiState * 1664525u + 1013904223u;
        o = {static_cast<unsigned char>(uiState >> 24), static_cast<unsigned char>(uiState >> 16),
             static_cast<unsigned char>(uiState >> 8), 255};
    }
    size_t i = 0;
    for (auto _ : oState)
    {
        double f = fColorDelta(&aoColors[i], &aoColors[(i + 1) & 1023], 1.0, 255.0, eMethod, 1.0);
        benchmark::DoNotOptimize(f);
        i = (i + 1) & 1023;
    }
    oState.SetLabel(g_apszDeltaMethodNames[eMethod]);
}
BENCHMARK(BM_ColorDelta)->DenseRange(0, DeltaMethod_Count - 1);

void vPaletteFromImage(benchmark::State& oState, bool bFirst)
{
    const tdDeltaMethod eMethod = static_cast<tdDeltaMethod>(oState.range(0));
    const unsigned int uiCount = static_cast<unsigned int>(oState.range(1));
    std::unique_ptr<Image> poImage(poPhotoLike(256, 212, 1, 24));
    std::unique_ptr<Palette> poPalette(new Palette());
    if (!bFirst) poPalette->vLoadFromImage(poImage.get(), uiCount, nullptr, 1.0, eMethod, 1.0);
    for (auto _ : oState)
    {
        if (bFirst) vReleasePaletteDeltaTables();
        poPalette->vLoadFromImage(poImage.get(), uiCount, nullptr, 1.0, eMethod, 1.0);
        benchmark::DoNotOptimize(poPalette->m_aoColors[0]);
    }
    oState.SetLabel(g_apszDeltaMethodNames[eMethod]);
}

void BM_PaletteFromImage(benchmark::State& oState)
{
    vPaletteFromImage(oState, false);
}
BENCHMARK(BM_PaletteFromImage)
    ->ArgsProduct({benchmark::CreateDenseRange(0, DeltaMethod_Count - 1, 1), {16, 4}})
    ->Unit(benchmark::kMillisecond);

void BM_PaletteFromImageFirst(benchmark::State& oState)
{
    vPaletteFromImage(oState, true);
}
BENCHMARK(BM_PaletteFromImageFirst)
    ->ArgsProduct({benchmark::CreateDenseRange(0, DeltaMethod_Count - 1, 1), {16, 4}})
    ->Unit(benchmark::kMillisecond);
} // namespace
