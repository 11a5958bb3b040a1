// YJK conversion and the Screen 10 and 12 encoders, on a 256 x 212 photo-like
// picture (smooth multi-colour waves with noise, as in bench_palette).
//
// BM_RGB2YJK: one vRGB2YJK call per group, by method and distance, over the
// picture's groups in turn. BM_RGB2YJKReference: the plain reference search, for
// comparison. BM_Screen12 / BM_Screen10Palette: the encoders with error diffusion
// 0.8 (the defaults), by method and distance; BM_Screen10Palette includes building
// the palette with vLoadPaletteFromYJKImage as the conversion does.
// BM_Screen12BruteForce: a whole screen by brute force, diffusion 0.8 and off
// (a strip of four lines for the distances that are slow by nature).

#include "qev/color/palette.h"
#include "qev/msx/encoder_yjk.h"
#include "qev/msx/yjk.h"
#include "qev/msx/yjk_palette.h"

#include "bench_util.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace
{
std::vector<Color> aoPictureGroups()
{
    std::unique_ptr<Image> poImage(poPhotoLike(256, 212, 1, 24));
    std::vector<Color> ao;
    for (int y = 0; y < 212; y++)
        for (int x = 0; x < 256; x++)
            ao.push_back(poImage->oGetPixel(x, y));
    return ao;
}

std::string sLabel(tdRGB2YJKMethod eMethod, tdDeltaMethod eDelta)
{
    return std::string(g_apszRGB2YJKMethodNames[eMethod]) + " / " + g_apszDeltaMethodNames[eDelta];
}

void vGroups(benchmark::State& oState, bool bReference)
{
    const tdRGB2YJKMethod eMethod = static_cast<tdRGB2YJKMethod>(oState.range(0));
    const tdDeltaMethod eDelta = static_cast<tdDeltaMethod>(oState.range(1));
    static const std::vector<Color> s_aoPixels = aoPictureGroups();
    vComputeColors();
    const size_t uiGroups = s_aoPixels.size() / 4;
    size_t g = 0;
    for (auto _ : oState)
    {
        unsigned char auc[4];
        Color aoColors[4];
        if (bReference)
            vRGB2YJKReference(&s_aoPixels[4 * g], auc, aoColors, eMethod, false, 1.0, eDelta, 1.0);
        else
            vRGB2YJK(&s_aoPixels[4 * g], auc, aoColors, eMethod, false, 1.0, eDelta, 1.0);
        benchmark::DoNotOptimize(auc);
        // Stride through the picture so that slow methods see varied groups.
        g = (g + 997) % uiGroups;
    }
    oState.SetLabel(sLabel(eMethod, eDelta));
}

void BM_RGB2YJK(benchmark::State& oState)
{
    vGroups(oState, false);
}
BENCHMARK(BM_RGB2YJK)
    ->ArgsProduct({benchmark::CreateDenseRange(0, RGB2YJK_Count - 1, 1),
                   {DeltaMethod_RGB, DeltaMethod_CIEDE2000, DeltaMethod_Hit9918, DeltaMethod_Oklab}})
    ->Unit(benchmark::kMicrosecond);

void BM_RGB2YJKReference(benchmark::State& oState)
{
    vGroups(oState, true);
}
BENCHMARK(BM_RGB2YJKReference)
    ->ArgsProduct({{RGB2YJK_GradientDescent, RGB2YJK_AreaSearch, RGB2YJK_BruteForce},
                   {DeltaMethod_RGB, DeltaMethod_CIEDE2000}})
    ->Unit(benchmark::kMicrosecond);

void BM_Screen12(benchmark::State& oState)
{
    const tdRGB2YJKMethod eMethod = static_cast<tdRGB2YJKMethod>(oState.range(0));
    const tdDeltaMethod eDelta = static_cast<tdDeltaMethod>(oState.range(1));
    tdRunContext oRun;
    oRun.m_iThreads = static_cast<int>(oState.range(2)); // 0: one per processor
    std::unique_ptr<Image> poImage(poPhotoLike(256, 212, 1, 24));
    Image oOutput(256, 212, 3, Background_None, 1.0);
    for (auto _ : oState)
    {
        tdByteArray oBytes;
        tdErrorTriple o = oWriteImageToYJK(poImage.get(), 0.8, &oBytes, nullptr, CompressionType_None,
                                           eMethod, &oOutput, 1.0, eDelta, 1.0, &oRun);
        benchmark::DoNotOptimize(o);
    }
    oState.SetLabel(sLabel(eMethod, eDelta) + (oRun.m_iThreads == 1 ? ", one thread" : ""));
}
BENCHMARK(BM_Screen12)
    ->ArgsProduct({{RGB2YJK_LeastSquares, RGB2YJK_GradientDescent, RGB2YJK_AreaSearch},
                   {DeltaMethod_RGB, DeltaMethod_CIEDE2000},
                   {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Screen10Palette(benchmark::State& oState)
{
    const tdRGB2YJKMethod eMethod = static_cast<tdRGB2YJKMethod>(oState.range(0));
    const tdDeltaMethod eDelta = static_cast<tdDeltaMethod>(oState.range(1));
    const bool bBuildPalette = oState.range(2) != 0;
    std::unique_ptr<Image> poImage(poPhotoLike(256, 212, 1, 24));
    Image oOutput(256, 212, 3, Background_None, 1.0);
    Palette oPalette;
    vLoadPaletteFromYJKImage(&oPalette, poImage.get(), nullptr, eMethod, 1.0, 1.0, eDelta, 1.0);
    oPalette.vResize(16);
    for (auto _ : oState)
    {
        if (bBuildPalette)
        {
            vLoadPaletteFromYJKImage(&oPalette, poImage.get(), nullptr, eMethod, 1.0, 1.0, eDelta, 1.0);
            oPalette.vResize(16);
        }
        tdByteArray oBytes;
        tdErrorTriple o =
            oWriteImageToYJKPlusPalette(poImage.get(), &oPalette, 0.8, &oBytes, nullptr, CompressionType_None,
                                        eMethod, &oOutput, 1.0, eDelta, 1.0);
        benchmark::DoNotOptimize(o);
    }
    oState.SetLabel(sLabel(eMethod, eDelta) + (bBuildPalette ? " + palette" : ""));
}
BENCHMARK(BM_Screen10Palette)
    ->ArgsProduct({{RGB2YJK_AreaSearch}, {DeltaMethod_RGB, DeltaMethod_CIEDE2000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Screen12BruteForce(benchmark::State& oState)
{
    const double fFactor = oState.range(0) / 10.0;
    const tdDeltaMethod eDelta = static_cast<tdDeltaMethod>(oState.range(1));
    const int iHeight = static_cast<int>(oState.range(2));
    std::unique_ptr<Image> poImage(poPhotoLike(256, iHeight, 1, 24));
    Image oOutput(256, iHeight, 3, Background_None, 1.0);
    for (auto _ : oState)
    {
        tdByteArray oBytes;
        tdErrorTriple o = oWriteImageToYJK(poImage.get(), fFactor, &oBytes, nullptr, CompressionType_None,
                                           RGB2YJK_BruteForce, &oOutput, 1.0, eDelta, 1.0);
        benchmark::DoNotOptimize(o);
    }
    oState.SetLabel(sLabel(RGB2YJK_BruteForce, eDelta) + ", diffusion " +
                    std::to_string(fFactor).substr(0, 3) + ", 256 x " + std::to_string(iHeight));
}
// Whole screens with the distances that allow the colour-side search; a strip of
// four lines (256 groups) with the others, which take seconds per screen line.
BENCHMARK(BM_Screen12BruteForce)
    ->Args({8, DeltaMethod_RGB, 212})
    ->Args({0, DeltaMethod_RGB, 212})
    ->Args({8, DeltaMethod_Hit9918, 212})
    ->Args({8, DeltaMethod_Oklab, 4})
    ->Args({8, DeltaMethod_CIEDE2000, 4})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
} // namespace
