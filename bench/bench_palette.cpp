// Colour distances and palette building.
//
// BM_ColorDelta: one fColorDelta call on byte colours (scale 255), per method.
// BM_PaletteFromImage: Palette::vLoadFromImage on a 256 x 212 photo-like picture
// (smooth multi-colour waves with noise), per method and colour count, with the
// distance tables already computed by an earlier build (the steady state of a live
// preview). BM_PaletteFromImageFirst releases the tables before every build, so
// each build pays for computing them.

#include "qev/color/color_delta.h"
#include "qev/color/palette.h"

#include "bench_util.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace
{
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
