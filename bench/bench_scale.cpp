// Speed of the resize filters and of fitting: a camera-sized photo shrunk to the
// MSX screen, a screen picture enlarged to the preview size, and whole fits as the
// conversion pipeline runs them. The fit of a 4000 x 3000 photo to 256 x 212
// should stay below 100 ms.

#include "qev/base/image.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

namespace
{

// A photo-like RGB picture: smooth gradients and soft waves, with grain.
Image* poMakePhoto(int iWidth, int iHeight)
{
    Image* poImage = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    uint32_t uiState = 0x9E3779B9u;
    unsigned char* puc = poImage->m_pucTexels;
    for (int iRow = 0; iRow < iHeight; iRow++)
    {
        const double fY = static_cast<double>(iRow) / iHeight;
        for (int iX = 0; iX < iWidth; iX++)
        {
            const double fX = static_cast<double>(iX) / iWidth;
            // xorshift32 grain of -8..7 per channel
            uiState ^= uiState << 13;
            uiState ^= uiState >> 17;
            uiState ^= uiState << 5;
            const double afBase[3] = {
                200.0 * fX + 40.0 * std::sin(9.0 * fY),
                160.0 * fY + 60.0 * std::sin(7.0 * fX + 3.0 * fY),
                120.0 + 100.0 * std::sin(5.0 * (fX - fY)),
            };
            for (int c = 0; c < 3; c++)
            {
                const int iNoise = static_cast<int>((uiState >> (8 * c)) & 15) - 8;
                const int iValue = static_cast<int>(afBase[c]) + iNoise;
                *puc++ = static_cast<unsigned char>(iValue < 0 ? 0 : (iValue > 255 ? 255 : iValue));
            }
        }
    }
    return poImage;
}

// Made once and shared by every benchmark; each run works on a copy.
const Image* poPhoto()
{
    static std::unique_ptr<Image> s_poPhoto(poMakePhoto(4000, 3000));
    return s_poPhoto.get();
}

const Image* poScreenPicture()
{
    static std::unique_ptr<Image> s_poPicture(poMakePhoto(256, 212));
    return s_poPicture.get();
}

const Image* poPreviewPicture()
{
    static std::unique_ptr<Image> s_poPicture(poMakePhoto(1024, 768));
    return s_poPicture.get();
}

void vScaleCopies(benchmark::State& oState, const Image* poSource, int iWidth, int iHeight)
{
    const tdResizeFilter eFilter = static_cast<tdResizeFilter>(oState.range(0));
    oState.SetLabel(g_apszResizeFilterNames[eFilter]);
    for (auto _ : oState)
    {
        oState.PauseTiming();
        Image* poImage = poSource->poCopy();
        oState.ResumeTiming();
        poImage->vScale(iWidth, iHeight, eFilter);
        benchmark::DoNotOptimize(poImage->m_pucTexels);
        oState.PauseTiming();
        delete poImage;
        oState.ResumeTiming();
    }
}

void vFitCopies(benchmark::State& oState, const Image* poSource)
{
    for (auto _ : oState)
    {
        oState.PauseTiming();
        Image* poImage = poSource->poCopy();
        oState.ResumeTiming();
        tdRectangle oRect;
        poImage->vFit(256, 212, 1.0, FitMode_Fit, ResizeFilter_Auto, &oRect, Background_Black, 0);
        benchmark::DoNotOptimize(poImage->m_pucTexels);
        oState.PauseTiming();
        delete poImage;
        oState.ResumeTiming();
    }
}

void BM_ShrinkPhotoToScreen(benchmark::State& oState)
{
    vScaleCopies(oState, poPhoto(), 256, 212);
}

void BM_EnlargeScreenToPreview(benchmark::State& oState)
{
    vScaleCopies(oState, poScreenPicture(), 1024, 768);
}

void BM_FitPreviewToScreen(benchmark::State& oState)
{
    vFitCopies(oState, poPreviewPicture());
}

void BM_FitPhotoToScreen(benchmark::State& oState)
{
    vFitCopies(oState, poPhoto());
}

} // namespace

BENCHMARK(BM_ShrinkPhotoToScreen)
    ->DenseRange(ResizeFilter_Auto, ResizeFilter_Bicubic)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnlargeScreenToPreview)
    ->DenseRange(ResizeFilter_Auto, ResizeFilter_Bicubic)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitPreviewToScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitPhotoToScreen)->Unit(benchmark::kMillisecond);
