// Throughput of the bit writer's storage methods on one Screen 8 page of a
// photo-like picture (256 x 212 bytes, what the bitmap encoders feed it) and on
// random bytes. Bytes go in through vWriteBits(byte, 8) as the encoders write them;
// the reported rate is input bytes per second.

#include "qev/compress/lzw.h"

#include "bench_util.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

std::vector<unsigned char> aucRandom(int iLength)
{
    std::mt19937 oRandom(2);
    std::vector<unsigned char> auc(static_cast<size_t>(iLength));
    for (auto& uc : auc)
        uc = static_cast<unsigned char>(oRandom());
    return auc;
}

void vRun(benchmark::State& oState, tdCompressionType eType, const std::vector<unsigned char>& aucInput)
{
    long lOut = 0;
    for (auto _ : oState)
    {
        tdByteArray oOutput;
        LZWCmp oWriter(eType, 0, false);
        oWriter.vOpen(&oOutput, 8);
        for (unsigned char uc : aucInput)
            oWriter.vWriteBits(uc, 8);
        oWriter.vClose();
        lOut = oOutput.m_iSize;
        benchmark::DoNotOptimize(oOutput.m_pucData);
    }
    oState.SetBytesProcessed(static_cast<int64_t>(oState.iterations()) *
                             static_cast<int64_t>(aucInput.size()));
    oState.counters["ratio"] = static_cast<double>(lOut) / static_cast<double>(aucInput.size());
}

void BM_LZW_Photo(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucScreen8PhotoLike(g_iScreen8PageBytes);
    vRun(oState, CompressionType_LZW, aucInput);
}

void BM_LZW_Random(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucRandom(g_iScreen8PageBytes);
    vRun(oState, CompressionType_LZW, aucInput);
}

void BM_RunLength_Photo(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucScreen8PhotoLike(g_iScreen8PageBytes);
    vRun(oState, CompressionType_RunLength, aucInput);
}

void BM_RunLength_Random(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucRandom(g_iScreen8PageBytes);
    vRun(oState, CompressionType_RunLength, aucInput);
}

void BM_None_Photo(benchmark::State& oState)
{
    static const std::vector<unsigned char> aucInput = aucScreen8PhotoLike(g_iScreen8PageBytes);
    vRun(oState, CompressionType_None, aucInput);
}

} // namespace

BENCHMARK(BM_LZW_Photo);
BENCHMARK(BM_LZW_Random);
BENCHMARK(BM_RunLength_Photo);
BENCHMARK(BM_RunLength_Random);
BENCHMARK(BM_None_Photo);
