// Tests of the bit writer and its three storage methods. Oracles: worked examples
// with their bits or bytes written out by hand; the strict run-length and LZW
// decoders (codecs.h); a reference LZW encoder with an ordered map for a dictionary
// beside the hash-table encoder, on a few chosen inputs.

#include "qev/compress/lzw.h"
#include "tests/support/codecs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <tuple>

namespace
{

tdBytes aucBytes(const tdByteArray& oArray)
{
    return tdBytes(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize);
}

tdBytes aucEncode(tdCompressionType eType, const tdBytes& aucInput, int iTableSize = 0)
{
    tdByteArray oOutput;
    LZWCmp oWriter(eType, iTableSize, false);
    oWriter.vOpen(&oOutput, 8);
    for (unsigned char uc : aucInput)
        oWriter.vWrite(uc);
    oWriter.vClose();
    EXPECT_EQ(oWriter.m_lBytesOut, oOutput.m_iSize);
    return aucBytes(oOutput);
}

// A text of '0' and '1' (others skipped) packed from the top bit, zero-padded.
tdBytes aucFromBits(const std::string& sBits)
{
    std::string sHex;
    for (char c : sBits)
        if (c == '0' || c == '1') sHex += c;
    tdBytes auc((sHex.size() + 7) / 8);
    for (size_t i = 0; i < sHex.size(); i++)
        auc[i / 8] = static_cast<unsigned char>(auc[i / 8] | ((sHex[i] - '0') << (7 - i % 8)));
    return auc;
}

std::string sBits(unsigned int uiValue, int iWidth)
{
    std::string s;
    for (int i = iWidth - 1; i >= 0; i--)
        s += static_cast<char>('0' + ((uiValue >> i) & 1u));
    return s;
}

// Reference LZW encoder: the dictionary is an ordered map from (prefix, byte) to
// the entry number, the code width computed from k directly.
tdBytes aucReferenceLZW(const tdBytes& aucInput, int iCapacity)
{
    std::string sOut;
    std::map<std::pair<long, unsigned char>, long> oDictionary; // prefix: byte, or 256 + entry
    long lPrefix = -1;
    unsigned int k = 0;
    auto vEmit = [&](long lValue)
    {
        int iWidth = 2;
        for (k++; (k >> iWidth) != 0;)
            iWidth++;
        sOut += lValue < 256 ? "1" + sBits(static_cast<unsigned int>(lValue), 8)
                             : "0" + sBits(static_cast<unsigned int>(lValue - 256), iWidth);
    };
    for (unsigned char uc : aucInput)
    {
        auto it = oDictionary.find({lPrefix, uc});
        if (lPrefix < 0 || it != oDictionary.end())
        {
            lPrefix = lPrefix < 0 ? uc : 256 + it->second;
            continue;
        }
        oDictionary[{lPrefix, uc}] = k;
        vEmit(lPrefix);
        lPrefix = uc;
        if (static_cast<int>(oDictionary.size()) < iCapacity) continue;
        vEmit(lPrefix);
        vEmit(256 + k); // clear: the (k + 1)-th code, value k
        k = 0;
        lPrefix = -1;
        oDictionary.clear();
    }
    if (lPrefix >= 0) vEmit(lPrefix);
    vEmit(256 + k + 1); // end: the (k + 1)-th code, value k + 1
    return aucFromBits(sOut);
}

// Kind 0: random bytes; 1: two symbols; 2: runs of 1..300 of four symbols (across
// the 127-byte run limit); 3: a constant.
tdBytes aucMakeData(int iKind, size_t uiLength, unsigned int uiSeed)
{
    std::mt19937 oRandom(uiSeed);
    tdBytes auc;
    while (auc.size() < uiLength)
    {
        unsigned int ui = static_cast<unsigned int>(oRandom());
        size_t uiRun = std::min<size_t>(iKind == 2 ? 1 + ui % 300 : 1, uiLength - auc.size());
        unsigned int uiByte = iKind == 0 ? ui : iKind == 3 ? 0xC3 : ui >> (32 - iKind);
        auc.insert(auc.end(), uiRun, static_cast<unsigned char>(uiByte));
    }
    return auc;
}

// Encodes and checks the stream against the decoder and (LZW) the reference
// encoder; returns the LZW decoder's statistics.
tdLZWStats oRoundTrip(tdCompressionType eType, const tdBytes& aucInput, int iTableSize = 0)
{
    tdBytes aucStream = aucEncode(eType, aucInput, iTableSize), aucDecoded = aucStream;
    tdLZWStats oStats;
    bool bLZW = eType == CompressionType_LZW;
    EXPECT_TRUE(eType == CompressionType_None || (bLZW ? bDecodeLZW(aucStream, &aucDecoded, &oStats)
                                                       : bDecodeRunLength(aucStream, &aucDecoded)));
    EXPECT_EQ(aucStream, bLZW ? aucReferenceLZW(aucInput, iTableSize ? iTableSize : 4094) : aucStream);
    EXPECT_EQ(aucDecoded, aucInput);
    return oStats;
}

const tdCompressionType g_aeTypes[] = {CompressionType_None, CompressionType_RunLength, CompressionType_LZW};

TEST(BitWriter, PacksBitsFromTheTopAndCodesAStartedByteAtTheClose)
{
    // (value, count) writes and the bytes they make, stored with compression none
    // clang-format off
    const std::pair<std::vector<std::pair<int, int>>, const char*> aoCases[] = {
        {{{5, 3}, {1, 5}}, "A1"}, {{{1, 1}}, "80"}, {{{1, 1}, {0x0F, 8}}, "87 80"}, {{{0x3, 1}, {0x2, 2}}, "C0"},
        {{{0xAB, 0}}, ""}, {{{-1, 40}}, "00 FF FF FF FF"}, {{{0x4141, 16}, {0x5, 3}}, "41 41 A0"}};
    // clang-format on
    for (tdCompressionType eType : g_aeTypes)
        for (const auto& oCase : aoCases)
        {
            tdByteArray oOutput;
            LZWCmp oWriter(eType, 0, false);
            oWriter.vOpen(&oOutput, 8);
            for (auto oWrite : oCase.first)
                oWriter.vWriteBits(oWrite.first, static_cast<unsigned char>(oWrite.second));
            oWriter.vClose();
            EXPECT_EQ(aucBytes(oOutput), aucEncode(eType, aucHexBytes(oCase.second)))
                << oCase.second << eType;
        }
    EXPECT_EQ(aucEncode(static_cast<tdCompressionType>(7), {1, 1, 1, 1}), tdBytes({1, 1, 1, 1}));
}

TEST(BitWriter, CallsOutsideOpenAndCloseDoNothingAndOpenStartsAfresh)
{
    // A writer reopened in the middle of a stream (a started byte, an open run, a
    // dictionary in use) onto a buffer holding a byte appends a new stream after it.
    const tdBytes aucFirst = aucMakeData(2, 5000, 3), aucSecond = aucMakeData(0, 3000, 4);
    for (tdCompressionType eType : g_aeTypes)
    {
        tdByteArray oAbandoned, oStream;
        oStream.vAppend(0x11);
        LZWCmp oWriter(eType, 0, false);
        oWriter.vWrite(1);
        oWriter.vClose();
        oWriter.vOpen(&oAbandoned, 8);
        for (unsigned char uc : aucFirst)
            oWriter.vWrite(uc);
        oWriter.vWriteBits(1, 3);
        oWriter.vOpen(&oStream, 8);
        for (unsigned char uc : aucSecond)
            oWriter.vWrite(uc);
        oWriter.vClose();
        oWriter.vWriteBits(0xFF, 8);
        oWriter.vClose();
        tdBytes aucExpected = aucEncode(eType, aucSecond);
        aucExpected.insert(aucExpected.begin(), 0x11);
        EXPECT_EQ(aucBytes(oStream), aucExpected) << eType;
        EXPECT_EQ(oWriter.m_lBytesOut, oStream.m_iSize - 1) << eType;
    }
}

std::string sDistinct(int iCount)
{
    std::string s;
    char szByte[4];
    for (int i = 0; i < iCount; i++)
        s += (snprintf(szByte, sizeof(szByte), "%02X ", i), szByte);
    return s;
}

TEST(RunLength, WorkedExamplesAtTheBlockAndRunLimits)
{
    // clang-format off
    const std::pair<std::string, std::string> aoCases[] = {
        {"", "00"}, {"5A", "01 5A 00"}, {"5A 5A", "02 5A 5A 00"}, {"5A*3", "83 5A 00"}, {"5A*127", "FF 5A 00"},
        {"61 62 63*3", "02 61 62 83 63 00"}, {"63*4 7A", "84 63 01 7A 00"}, {"5A*128", "FF 5A 01 5A 00"},
        {"5A*130", "FF 5A 83 5A 00"}, {"5A*200", "FF 5A C9 5A 00"}, {sDistinct(127), "7F " + sDistinct(127) + "00"},
        {sDistinct(128), "7F " + sDistinct(127) + "01 7F 00"},
        // 126 distinct and 3 equal: the block fills at the first, the others stay literals;
        // 124 distinct and 3 equal: the run takes two literals back
        {sDistinct(126) + "EE*3", "7F " + sDistinct(126) + "EE 02 EE EE 00"},
        {sDistinct(125) + "EE*3", "7F " + sDistinct(125) + "EE EE 01 EE 00"},
        {sDistinct(124) + "EE*3", "7C " + sDistinct(124) + "83 EE 00"}};
    // clang-format on
    for (const auto& oCase : aoCases)
    {
        EXPECT_EQ(aucEncode(CompressionType_RunLength, aucHexBytes(oCase.first)), aucHexBytes(oCase.second));
        oRoundTrip(CompressionType_RunLength, aucHexBytes(oCase.first));
    }
}

TEST(LZW, WorkedExamplesCodeByCode)
{
    const std::tuple<const char*, int, std::string> aoCases[] = {
        {"", 0, "0 01"}, // only the end code: k1, value 1, W=2
        // k1 'A', k2 entry 0 (W=2), k3 'A', k4 end (value 4, W=3)
        {"41*4", 0, "1 01000001  0 00  1 01000001  0 100"},
        // 1+2+3+4 'A': k1 'A', k2 e0, k3 e1 (W=2), k4 e2 (W=3), k5 end
        {"41*10", 0, "1 01000001  0 00  0 01  0 010  0 101"},
        {"41 42 43 44 45 46 47", 0, // end k8 in W=4
         "1 01000001 1 01000010 1 01000011 1 01000100 1 01000101 1 01000110 1 01000111 0 1000"},
        // capacity 2: k1 'A', k2 'B' (full), k3 'C', k4 clear (value 3, W=3); coding goes on
        {"41 42 43 44*3", 2, "1 01000001  1 01000010  1 01000011  0 011  1 01000100  0 00  0 11"},
    };
    for (const auto& oCase : aoCases)
    {
        const tdBytes aucInput = aucHexBytes(std::get<0>(oCase));
        EXPECT_EQ(aucEncode(CompressionType_LZW, aucInput, std::get<1>(oCase)),
                  aucFromBits(std::get<2>(oCase)));
        oRoundTrip(CompressionType_LZW, aucInput, std::get<1>(oCase));
    }
}

TEST(RoundTrip, EveryMethodOnChosenLengthsAndTheDictionaryFilled)
{
    for (int iKind = 0; iKind < 4; iKind++)
        for (size_t uiLength : {0u, 1u, 2u, 3u, 4u, 7u, 8u, 126u, 127u, 128u, 129u, 300u, 4097u})
            for (tdCompressionType eType : g_aeTypes)
            {
                SCOPED_TRACE(std::to_string(iKind) + " " + std::to_string(uiLength));
                oRoundTrip(eType, aucMakeData(iKind, uiLength, static_cast<unsigned int>(uiLength)));
            }
    // The default 4094 entries filled again and again: every clear at k = 4096,
    // 13-bit codes at the most. Capacities outside 1..4094 mean the default.
    for (int iKind : {0, 1})
    {
        tdLZWStats oStats = oRoundTrip(CompressionType_LZW, aucMakeData(iKind, 60000, 99));
        EXPECT_GE(oStats.m_aiClearAt.size(), 1u);
        EXPECT_EQ(oStats.m_aiClearAt, std::vector<int>(oStats.m_aiClearAt.size(), 4096));
        EXPECT_EQ(oStats.m_uiMaxEntries, 4094u);
        EXPECT_EQ(oStats.m_iMaxWidth, 13);
        for (int iTableSize : {-3, 5000})
            EXPECT_EQ(aucEncode(CompressionType_LZW, aucMakeData(iKind, 9000, 5), iTableSize),
                      aucEncode(CompressionType_LZW, aucMakeData(iKind, 9000, 5)));
    }
    // Small capacities clear at k = capacity + 2.
    for (int iTableSize : {1, 2, 3, 13})
        for (int iKind = 0; iKind < 4; iKind++)
        {
            tdLZWStats oStats = oRoundTrip(CompressionType_LZW, aucMakeData(iKind, 1000, 3), iTableSize);
            EXPECT_EQ(oStats.m_aiClearAt, std::vector<int>(oStats.m_aiClearAt.size(), iTableSize + 2));
            EXPECT_LE(oStats.m_uiMaxEntries, static_cast<size_t>(iTableSize));
        }
}

} // namespace
