// The Screen 2, 3, 5, 6, 7 and 8 encoders on a photo-like picture of the screen's
// size (smooth multi-colour waves with noise), each with error diffusion 0.8, a first
// page buffer (compression none) and an output picture, as a screen-dump writer calls
// them. Argument: the distance method (RGB, the default, and the perceptual ones).
// The palette is built once beforehand: only the encoder is timed.

#include "qev/msx/encoder_bitmap.h"
#include "qev/msx/encoder_pattern.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

namespace
{
Image* poPhotoLike(int iWidth, int iHeight, double fRatio)
{
    Image* po = new Image(iWidth, iHeight, 3, Background_None, fRatio);
    uint32_t uiState = 12345;
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
        {
            const double afWave[3] = {
                sin(x * 0.031 + y * 0.012),
                sin(x * 0.011 - y * 0.027 + 1.0),
                sin((x + y) * 0.019 + 2.0) * cos(y * 0.023),
            };
            unsigned char auc[3];
            for (int c = 0; c < 3; c++)
            {
                uiState = uiState * 1664525u + 1013904223u;
                int v = static_cast<int>(lround(127.5 + 127.5 * afWave[c])) +
                        static_cast<int>((uiState >> 8) % 25) - 12;
                auc[c] = static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
            Color o = {auc[0], auc[1], auc[2], 255};
            po->vSetPixel(x, y, &o);
        }
    return po;
}

const char* const g_apszMethods[] = {"RGB", "XYZ", "LAB", "CIEDE2000", "Hit9918", "Oklab"};

enum tdBenchScreen
{
    Bench_Screen2,
    Bench_Screen3,
    Bench_Screen5,
    Bench_Screen6,
    Bench_Screen7,
    Bench_Screen8,
};

void vBenchEncoder(benchmark::State& oState, tdBenchScreen eScreen, double fDiffusion = 0.8, int iThreads = 0)
{
    const tdDeltaMethod eMethod = static_cast<tdDeltaMethod>(oState.range(0));
    tdRunContext oRun;
    oRun.m_iThreads = iThreads;
    // clang-format off
    //                            Sc2  Sc3  Sc5  Sc6  Sc7  Sc8
    const int aiWidth[]        = {256,  64, 256, 512, 512, 256};
    const int aiHeight[]       = {192,  48, 212, 212, 212, 212};
    const unsigned aiColors[]  = { 16,  16,  16,   4,  16,   0};
    // clang-format on
    const double fRatio = aiWidth[eScreen] == 512 ? 0.5 : 1.0;
    std::unique_ptr<Image> poImage(poPhotoLike(aiWidth[eScreen], aiHeight[eScreen], fRatio));
    Palette oPalette;
    if (aiColors[eScreen])
    {
        oPalette.vLoadFromImage(poImage.get(), aiColors[eScreen], nullptr, 1.0, eMethod, 1.0);
        oPalette.vResize(aiColors[eScreen]);
    }
    Image oOutput(aiWidth[eScreen], aiHeight[eScreen], 3, Background_None, fRatio);
    for (auto _ : oState)
    {
        tdByteArray oBuffer;
        tdErrorTriple o = {0.0, 0.0, 0.0};
        switch (eScreen)
        {
        case Bench_Screen2:
            o = oWriteImageToScreen2(poImage.get(), &oPalette, fDiffusion, &oBuffer, CompressionType_None,
                                     &oOutput, 1.0, true, eMethod, 1.0, &oRun);
            break;
        case Bench_Screen3:
            o = oWriteImageToScreen3(poImage.get(), &oPalette, fDiffusion, &oBuffer, CompressionType_None,
                                     &oOutput, eMethod, 1.0, &oRun);
            break;
        case Bench_Screen8:
            o = oWriteImageToRGB(poImage.get(), fDiffusion, &oBuffer, nullptr, CompressionType_None, &oOutput,
                                 eMethod, &oRun);
            break;
        default:
            o = oWriteImageToIndexed(poImage.get(), &oPalette, fDiffusion, &oBuffer, nullptr,
                                     CompressionType_None, &oOutput, eMethod, 1.0, &oRun);
            break;
        }
        benchmark::DoNotOptimize(o);
        benchmark::DoNotOptimize(oBuffer.m_pucData);
    }
    oState.SetLabel(std::string(g_apszMethods[eMethod]) + (iThreads == 1 ? ", one thread" : ""));
}

void BM_EncodeScreen2(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen2);
}
void BM_EncodeScreen3(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen3);
}
void BM_EncodeScreen5(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen5);
}
void BM_EncodeScreen6(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen6);
}
void BM_EncodeScreen7(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen7);
}
void BM_EncodeScreen8(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen8);
}
// The default distance and the four perceptual ones.
void vMethods(benchmark::internal::Benchmark* po)
{
    for (int i :
         {DeltaMethod_RGB, DeltaMethod_XYZ, DeltaMethod_LAB, DeltaMethod_CIEDE2000, DeltaMethod_Oklab})
        po->Arg(i);
    po->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_EncodeScreen2)->Apply(vMethods);
BENCHMARK(BM_EncodeScreen3)->Apply(vMethods);
BENCHMARK(BM_EncodeScreen5)->Apply(vMethods);
BENCHMARK(BM_EncodeScreen6)->Apply(vMethods);
BENCHMARK(BM_EncodeScreen7)->Apply(vMethods);
BENCHMARK(BM_EncodeScreen8)->Apply(vMethods);

// Without diffusion the searches of all pixels spread over the processors.
void BM_EncodeScreen5NoDiffusion(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen5, 0.0);
}
void BM_EncodeScreen8NoDiffusion(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen8, 0.0);
}
BENCHMARK(BM_EncodeScreen5NoDiffusion)->Apply(vMethods);
BENCHMARK(BM_EncodeScreen8NoDiffusion)->Apply(vMethods);

// Rows follow each other on the processors under diffusion too; on one thread
// for comparison.
void BM_EncodeScreen5OneThread(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen5, 0.8, 1);
}
void BM_EncodeScreen8OneThread(benchmark::State& oState)
{
    vBenchEncoder(oState, Bench_Screen8, 0.8, 1);
}
BENCHMARK(BM_EncodeScreen5OneThread)->Apply(vMethods);
BENCHMARK(BM_EncodeScreen8OneThread)->Apply(vMethods);
} // namespace
