// Throughput of the KRU block compressor: a whole record (blocks of 16384 bytes,
// window 2048) built from one Screen 8 page of a photo-like picture (256 x 212
// bytes), of random bytes, of bytes drawn from four values (long chains of short
// matches, the costly case for the match search) and of a single repeated byte.
// The reported rate is stream bytes per second.

#include "qev/files/kru_record.h"

#include "bench_util.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

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
    static const std::vector<unsigned char> aucInput = aucScreen8PhotoLike(g_iScreen8PageBytes);
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
