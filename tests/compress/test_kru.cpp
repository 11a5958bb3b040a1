// Tests of the KRU block compressor. Oracles: worked examples typed byte by byte; the
// strict block decoder (codecs.h); a brute-force greedy parse trying every distance
// 1 .. 2047 beside the chained search, on a few chosen blocks.

#include "qev/compress/kru_compressor.h"
#include "tests/support/codecs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace
{

// Compressed twice after one vEncode_Init (the second must not see the first), decoded back.
tdBytes aucCompress(tdBytes aucIn)
{
    vEncode_Init(2048);
    tdBytes aucPacked[2], aucBack;
    for (tdBytes& auc : aucPacked)
    {
        std::unique_ptr<tdByteArray> po(poEncode_Encode(aucIn.data(), static_cast<unsigned>(aucIn.size())));
        auc = aucArrayBytes(*po);
    }
    vEncode_Release();
    EXPECT_EQ(aucPacked[0], aucPacked[1]);
    EXPECT_TRUE(bDecompressKRUBlock(aucPacked[0].data(), aucPacked[0].size(), &aucBack, aucIn.size()) &&
                aucBack == aucIn);
    return aucPacked[0];
}

// Greedy parse, the nearest of equally long matches, then the end marker; written as the
// decoder reads: a flag byte placed where its first bit is needed, data bytes in order.
tdBytes aucReferenceCompress(const tdBytes& aucIn)
{
    tdBytes auc;
    size_t uiFlagAt = 0;
    int iFree = 0;
    auto vBits = [&](size_t uiValue, int iCount)
    {
        for (int i = iCount - 1; i >= 0; i--)
        {
            if (iFree == 0) uiFlagAt = auc.size(), auc.push_back(0), iFree = 8;
            auc[uiFlagAt] = static_cast<unsigned char>(auc[uiFlagAt] | ((uiValue >> i) & 1u) << --iFree);
        }
    };
    for (size_t p = 0; p <= aucIn.size();)
    {
        size_t uiLength = 1, uiDistance = 0;
        for (size_t d = 1; d <= 2047 && d <= p; d++)
        {
            size_t l = 0;
            while (p + l < aucIn.size() && aucIn[p + l - d] == aucIn[p + l])
                l++;
            if (l > uiLength) uiLength = l, uiDistance = d;
        }
        if (p == aucIn.size()) uiLength = 65537, uiDistance = 1; // the end marker
        size_t uiCode = uiDistance - 1;
        vBits(uiDistance != 0, 1);
        auc.push_back(
            static_cast<unsigned char>(uiDistance ? uiCode % 128 + (uiCode > 127) * 128 : aucIn[p]));
        p += uiLength;
        if (uiDistance == 0) continue;
        if (uiCode >= 128) vBits(uiCode >> 7, 4);
        int iTop = static_cast<int>(std::log2(uiLength - 1));
        vBits(0xFFFFFFFEu, iTop + 1); // iTop ones and a zero
        vBits(uiLength - 1, iTop);
    }
    return auc;
}

// uiPrefix bytes with no two-byte sequence twice (each step adds an odd 1, 3, .. 127,
// changing every 256 bytes), then ten of them again from uiFrom on.
tdBytes aucRepeatAfter(size_t uiPrefix, size_t uiFrom)
{
    tdBytes auc(uiPrefix);
    for (size_t i = 1; i < uiPrefix; i++)
        auc[i] = static_cast<unsigned char>(auc[i - 1] + 2 * (((i - 1) / 256) % 64) + 1);
    for (size_t i = uiFrom; i < uiFrom + 10; i++)
        auc.push_back(auc[i]);
    return auc;
}

TEST(KRUCompressor, WorkedExamples)
{
    // clang-format off
    const std::pair<tdBytes, const char*> aoCases[] = {
        // bits 0 (literal) 1 (end) 111111 | 11111111 | 11 0 00000 | 00000000 | 000 + fill
        {{0x41}, "7F 41 00  FF  C0  00  00"}, {{}, "FF 00  FF  80  00  00"}, // and the end marker alone
        {tdBytes(100, 0x41), "7F 41 00  45 00  FF  FF  00  00  00"}, // 41, offset 1 length 99 (111111 0 100010)
        // literals a b c, match offset 3 length 9 (n = 8: 111 0 000), end
        {aucHexBytes("61 62 63 61 62 63 61 62 63 61 62 63"), "1E 61 62 63 02  1F 00  FF  F0  00  00"},
        // the nearest of equally long matches: offset 3 twice, bits 0001 0010
        {aucHexBytes("61 62 58 61 62 59 61 62"), "12 61 62 58 02 59 02  FF 00  FF  80  00  00"}};
    // clang-format on
    for (const auto& oCase : aoCases)
        EXPECT_EQ(aucCompress(oCase.first), aucHexBytes(oCase.second)) << oCase.second;
}

TEST(KRUCompressor, MatchesTheBruteForceParse)
{
    // Offsets 128 (a data byte), 129 (and 4 flag bits), 2048 (out of the window), 2047 after
    // the window slid; the longest over a nearer match; matches all over the window; long runs.
    // clang-format off
    const tdBytes aaucBlocks[] = {aucRepeatAfter(128, 0), aucRepeatAfter(129, 0), aucRepeatAfter(2048, 0),
        aucRepeatAfter(2048, 1), aucHexBytes("61 62 63 58 61 62 59 61 62 63"), aucRandomRuns(6000, 4, 1, 7),
        aucRandomRuns(6000, 256, 300, 8)};
    // clang-format on
    for (const tdBytes& aucBlock : aaucBlocks)
        EXPECT_EQ(aucCompress(aucBlock), aucReferenceCompress(aucBlock)) << aucBlock.size();
}

} // namespace
