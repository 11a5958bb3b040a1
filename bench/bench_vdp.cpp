// The video chip renderers: one full screen of random video memory per mode, as a
// reader renders a loaded file, and the YJK screens with each interpolation.

#include "qev/msx/vdp.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace
{
void vFillRandom(VDP* poVDP)
{
    std::mt19937 oRandom(5);
    for (int i = 0; i < g_iVRAMSize; i++)
        poVDP->m_pucVRAM[i] = static_cast<unsigned char>(oRandom());
    poVDP->vReadPaletteFromVRAM(0x7680, 16, nullptr);
}

// Modes 0..7 as the screens 2, 3, 5, 6, 7, 8, 10, 12.
Image* poRender(const VDP& oVDP, int iMode, bool bInterlaced, tdYJK2RGBInterpolation eInterpolation)
{
    switch (iMode)
    {
    case 0:
        return oVDP.poGetScreen2Image();
    case 1:
        return oVDP.poGetScreen3Image();
    case 2:
        return oVDP.poGetScreen5Image(bInterlaced, bInterlaced);
    case 3:
        return oVDP.poGetScreen6Image(bInterlaced, bInterlaced);
    case 4:
        return oVDP.poGetScreen7Image(bInterlaced, bInterlaced);
    case 5:
        return oVDP.poGetScreen8Image(bInterlaced, bInterlaced);
    case 6:
        return oVDP.poGetScreen11Image(bInterlaced, eInterpolation, bInterlaced);
    default:
        return oVDP.poGetScreen12Image(bInterlaced, eInterpolation, bInterlaced);
    }
}

void BM_RenderScreen(benchmark::State& oState)
{
    VDP oVDP;
    vFillRandom(&oVDP);
    const int iMode = static_cast<int>(oState.range(0));
    for (auto _ : oState)
    {
        std::unique_ptr<Image> poImage(poRender(oVDP, iMode, false, YJK2RGB_None));
        benchmark::DoNotOptimize(poImage->m_pucTexels);
    }
    oState.SetLabel(g_apszScreenModeNames[iMode]);
}
BENCHMARK(BM_RenderScreen)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

void BM_RenderInterlacedScreen12(benchmark::State& oState)
{
    VDP oVDP;
    vFillRandom(&oVDP);
    const tdYJK2RGBInterpolation eInterpolation = static_cast<tdYJK2RGBInterpolation>(oState.range(0));
    for (auto _ : oState)
    {
        std::unique_ptr<Image> poImage(poRender(oVDP, 7, true, eInterpolation));
        benchmark::DoNotOptimize(poImage->m_pucTexels);
    }
    oState.SetLabel(g_apszYJK2RGBInterpolationNames[eInterpolation]);
}
BENCHMARK(BM_RenderInterlacedScreen12)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
} // namespace
