// Tests of the KRU block compressor. Oracles: worked examples whose bytes were
// worked out by hand from the block format; the strict block decoder (codecs.h); a
// layout routine here that files each data byte under the flag byte holding its
// item's flag bit; and a brute-force greedy parse trying every distance 1 .. 2047
// beside the chained search, on a few chosen blocks.

#include "qev/compress/kru_compressor.h"
#include "tests/support/codecs.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{

// Compresses the block twice after one vEncode_Init (the second time must not see
// the first) and checks that the decoder gives the block back.
tdBytes aucCompress(tdBytes aucInput)
{
    vEncode_Init(2048);
    tdBytes aucPacked[2], aucBack;
    for (tdBytes& auc : aucPacked)
    {
        tdByteArray* poPacked = poEncode_Encode(aucInput.data(), static_cast<unsigned int>(aucInput.size()));
        auc.assign(poPacked->m_pucData, poPacked->m_pucData + poPacked->m_iSize);
        delete poPacked;
    }
    vEncode_Release();
    EXPECT_EQ(aucPacked[0], aucPacked[1]);
    EXPECT_TRUE(bDecompressKRUBlock(aucPacked[0], &aucBack, aucInput.size()));
    EXPECT_EQ(aucBack, aucInput);
    return aucPacked[0];
}

// Greedy parse trying every distance 1 .. 2047 from the nearest out (only a longer
// match replaces the best, so the nearest of equally long ones stays), laid out
// with the end marker: flag bits from the top, each data byte filed under the flag
// byte that holds its item's flag bit.
tdBytes aucReferenceCompress(const tdBytes& aucIn)
{
    std::vector<int> aiBits;
    std::vector<tdBytes> aaucData;
    auto vBits = [&](unsigned int uiValue, int iCount)
    {
        for (int i = iCount - 1; i >= 0; i--)
            aiBits.push_back(static_cast<int>((uiValue >> i) & 1u));
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
        aaucData.resize(aiBits.size() / 8 + 1);
        unsigned int uiCode = static_cast<unsigned int>(uiDistance - 1);
        aaucData.back().push_back(uiDistance == 0 ? aucIn[p] : uiCode < 128 ? uiCode : 128 + (uiCode & 127));
        aiBits.push_back(uiDistance != 0);
        p += uiLength;
        if (uiDistance == 0) continue;
        if (uiCode >= 128) vBits(uiCode >> 7, 4);
        int iTop = 31;
        while (!((uiLength - 1) >> iTop))
            iTop--;
        vBits(0xFFFFFFFEu, iTop + 1); // iTop ones and a zero
        vBits(static_cast<unsigned int>(uiLength - 1), iTop);
    }
    tdBytes auc;
    aiBits.resize((aiBits.size() + 7) / 8 * 8);
    aaucData.resize(aiBits.size() / 8);
    for (size_t i = 0; i < aiBits.size(); i++)
    {
        if (i % 8 == 0) auc.push_back(0);
        auc.back() = static_cast<unsigned char>(auc.back() * 2 + aiBits[i]);
        if (i % 8 == 7) auc.insert(auc.end(), aaucData[i / 8].begin(), aaucData[i / 8].end());
    }
    return auc;
}

// Bytes with no two-byte sequence twice within 16384 positions, so no match: each
// step adds an odd s = 1, 3, .. 127, s changing every 256 bytes.
tdBytes aucNoRepeats(size_t uiLength)
{
    tdBytes auc(uiLength);
    for (size_t i = 1; i < uiLength; i++)
        auc[i] = static_cast<unsigned char>(auc[i - 1] + 2 * (((i - 1) / 256) % 64) + 1);
    return auc;
}

TEST(KRUCompressor, WorkedExamples)
{
    const std::pair<tdBytes, const char*> aoCases[] = {
        // bits 0 (literal) 1 (end) 111111 | 11111111 | 11 0 00000 | 00000000 | 000 + fill
        {{0x41}, "7F 41 00  FF  C0  00  00"},
        // literal 41, match offset 1 length 99 (n = 98: 111111 0 100010), end
        {tdBytes(100, 0x41), "7F 41 00  45 00  FF  FF  00  00  00"},
        // literals a b c, match offset 3 length 9 (n = 8: 111 0 000), end
        {aucHexBytes("61 62 63 61 62 63 61 62 63 61 62 63"), "1E 61 62 63 02  1F 00  FF  F0  00  00"},
        {{}, "FF 00  FF  80  00  00"}, // the end marker alone
        // the nearest of equally long matches: offset 3 twice, bits 0001 0010
        {aucHexBytes("61 62 58 61 62 59 61 62"), "12 61 62 58 02 59 02  FF 00  FF  80  00  00"},
    };
    for (const auto& oCase : aoCases)
        EXPECT_EQ(aucCompress(oCase.first), aucHexBytes(oCase.second)) << oCase.second;
    // 16384 literals: 16385 data bytes and 2053 flag bytes (16418 bits)
    EXPECT_EQ(aucCompress(aucNoRepeats(16384)).size(), 18438u);
}

TEST(KRUCompressor, MatchesTheBruteForceParse)
{
    std::mt19937 oRandom(7);
    auto aucRandom = [&](size_t uiLength, unsigned int uiAlphabet, size_t uiMaxRun)
    {
        tdBytes auc;
        while (auc.size() < uiLength)
            auc.insert(auc.end(), 1 + oRandom() % uiMaxRun,
                       static_cast<unsigned char>(oRandom() % uiAlphabet));
        return auc;
    };
    const tdBytes aucU = aucNoRepeats(2048);
    auto aucUPlus = [&](size_t uiPrefix, size_t uiFrom, size_t uiCount)
    {
        tdBytes auc(aucU.begin(), aucU.begin() + static_cast<long>(uiPrefix));
        for (size_t i = uiFrom; i < uiFrom + uiCount; i++)
            auc.push_back(aucU[i]);
        return auc;
    };
    std::vector<tdBytes> aaucBlocks = {
        // offsets 128 (one data byte), 129 and 2047 (data byte and 4 flag bits), 2048
        // (out of the window) and 2047 after the window has slid
        aucUPlus(128, 0, 4),
        aucUPlus(129, 0, 4),
        aucUPlus(2047, 0, 10),
        aucUPlus(2048, 0, 10),
        aucUPlus(2048, 1, 10),
        aucHexBytes("61 62 63 58 61 62 59 61 62 63"), // the longest wins over a nearer one
        tdBytes(16384, 7),
        tdBytes(258, 7),
        tdBytes(6, 7), // n = 16382, 256, 4
        aucRandom(3000, 256, 1),
        aucRandom(6000, 4, 1),
        aucRandom(6000, 256, 300),
    };
    // a random stretch repeated at distances around the window's reach, with bytes
    // changed here and there so that matches end and restart
    for (size_t uiDistance : {2046u, 2047u, 2048u})
    {
        tdBytes auc = aucRandom(uiDistance, 256, 1);
        for (size_t i = 0; i < 2 * uiDistance; i++)
            auc.push_back(static_cast<unsigned char>(auc[i] + (i % 333 == 5)));
        aaucBlocks.push_back(auc);
    }
    for (const tdBytes& aucBlock : aaucBlocks)
        EXPECT_EQ(aucCompress(aucBlock), aucReferenceCompress(aucBlock)) << aucBlock.size();
}

} // namespace
