// Throughput of the KRU block compressor: a whole record (blocks of 16384 bytes,
// window 2048) built from one Screen 8 page of a photo-like picture (256 x 212
// bytes), of random bytes, of bytes drawn from four values (long chains of short
// matches, the costly case for the match search) and of a single repeated byte.
// The reported rate is stream bytes per second.

#include "qev/kru_record.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

const int g_iScreen8PageBytes = 256 * 212;

// Screen 8 bytes (green 3 bits, red 3, blue 2) of smooth shading with some noise.
std::vector<unsigned char> aucPhotoLike(int iLength)
{
    std::mt19937 oRandom(1);
    std::uniform_real_distribution<double> oNoise(-0.6, 0.6);
    std::vector<unsigned char> auc(static_cast<size_t>(iLength));
    for (int i = 0; i < iLength; i++)
    {
        double fX = i % 256;
        double fY = i / 256;
        double fG = 3.5 + 3.4 * std::sin(fX / 40.0) * std::cos(fY / 30.0) + oNoise(oRandom);
        double fR = 3.5 + 3.4 * std::cos((fX + fY) / 55.0) + oNoise(oRandom);
        double fB = 1.5 + 1.4 * std::sin(fY / 20.0) + oNoise(oRandom) * 0.5;
        int iG = std::clamp(static_cast<int>(fG), 0, 7);
        int iR = std::clamp(static_cast<int>(fR), 0, 7);
        int iB = std::clamp(static_cast<int>(fB), 0, 3);
        auc[static_cast<size_t>(i)] = static_cast<unsigned char>((iG << 5) | (iR << 2) | iB);
    }
    return auc;
}

std::vector<unsigned char> aucRandom(int iLength, unsigned int uiValues)
{
    std::mt19937 oRandom(2);
    std::vector<unsigned char> auc(static_cast<size_t>(iLength));
    for (auto& uc : auc)
        uc = static_cast<unsigned char>(oRandom() % uiValues * (256 / uiValues));
    return auc;
}

void vRun(benchmark::State& oState, const std::vector<unsigned char>& aucInput)
{
    long lOut = 0;
    for (auto _ : oState)
    {
        tdByteArray oRecord;
        vBuildKRURecord(1, aucInput.data(), static_cast<int>(aucInput.size()), 16384, &oRecord);
        lOut = oRecord.m_iSize;
        benchmark::DoNotOptimize(oRecord.m_pucData);
    }
    oState.SetBytesProcessed(static_cast<int64_t>(oState.iterations()) *
                             static_cast<int64_t>(aucInput.size()));
    oState.counters["ratio"] = static_cast<double>(lOut) / static_cast<double>(aucInput.size());
}

void BM_KRU_Photo(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucPhotoLike(g_iScreen8PageBytes);
    vRun(oState, aucInput);
}

void BM_KRU_Random(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucRandom(g_iScreen8PageBytes, 256);
    vRun(oState, aucInput);
}

void BM_KRU_FourValues(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucRandom(g_iScreen8PageBytes, 4);
    vRun(oState, aucInput);
}

void BM_KRU_OneValue(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput(g_iScreen8PageBytes, 0x41);
    vRun(oState, aucInput);
}

} // namespace

BENCHMARK(BM_KRU_Photo);
BENCHMARK(BM_KRU_Random);
BENCHMARK(BM_KRU_FourValues);
BENCHMARK(BM_KRU_OneValue);
