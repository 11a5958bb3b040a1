// Tests of the bit writer and its three storage methods. Oracles: worked examples typed
// bit by bit or byte by byte; the strict run-length and LZW decoders (codecs.h); a
// reference LZW encoder with an ordered map beside the hash-table one, on chosen inputs.

#include "qev/compress/lzw.h"
#include "tests/support/codecs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cmath>
#include <map>
#include <string>
#include <tuple>

namespace
{

// The stream of aucInput given to vWrite, then of aoBits given to vWriteBits as (value, count).
tdBytes aucEncode(tdCompressionType eType, const tdBytes& aucInput, int iTableSize = 0,
                  const std::vector<std::pair<int, int>>& aoBits = {})
{
    tdByteArray oOutput;
    LZWCmp oWriter(eType, iTableSize, false);
    oWriter.vOpen(&oOutput, 8);
    for (unsigned char uc : aucInput)
        oWriter.vWrite(uc);
    for (auto [iValue, iCount] : aoBits)
        oWriter.vWriteBits(iValue, static_cast<unsigned char>(iCount));
    oWriter.vClose();
    EXPECT_EQ(oWriter.m_lBytesOut, oOutput.m_iSize);
    return aucArrayBytes(oOutput);
}

// '0' and '1' (spaces skipped) packed from the top bit, zero-padded.
tdBytes aucFromBits(std::string sBits)
{
    sBits.erase(std::remove(sBits.begin(), sBits.end(), ' '), sBits.end());
    sBits += "0000000";
    tdBytes auc;
    for (size_t i = 0; i + 8 <= sBits.size(); i += 8)
        auc.push_back(static_cast<unsigned char>(std::stoi(sBits.substr(i, 8), nullptr, 2)));
    return auc;
}

// Reference LZW encoder: an ordered map from (prefix, byte) to the entry number, the
// code width computed from k directly; capacities outside 1..4094 mean 4094.
tdBytes aucReferenceLZW(const tdBytes& aucInput, int iCapacity)
{
    if (iCapacity < 1 || iCapacity > 4094) iCapacity = 4094;
    std::string sOut;
    std::map<std::pair<long, unsigned char>, long> oDictionary; // prefix: byte, or 256 + entry
    long lPrefix = -1;
    unsigned int k = 0;
    auto vEmit = [&](long lValue) // 1 and 8 bits for a byte, 0 and W bits for 256 + n
    {
        size_t uiWidth = std::max(2, static_cast<int>(std::log2(++k)) + 1);
        bool bByte = lValue < 256;
        std::bitset<16> oBits(static_cast<unsigned long>(bByte ? lValue : lValue - 256));
        sOut += (bByte ? "1" : "0") + oBits.to_string().substr(bByte ? 8 : 16 - uiWidth);
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

TEST(BitWriter, PacksBitsFromTheTopAndReopensAfresh)
{
    // (value, count) writes and the bytes they make, stored with each method
    // clang-format off
    const std::pair<std::vector<std::pair<int, int>>, const char*> aoCases[] = {
        {{{5, 3}, {1, 5}}, "A1"}, {{{1, 1}}, "80"}, {{{1, 1}, {0x0F, 8}}, "87 80"}, {{{0x3, 1}, {0x2, 2}}, "C0"},
        {{{0xAB, 0}}, ""}, {{{-1, 40}}, "00 FF FF FF FF"}, {{{0x4141, 16}, {0x5, 3}}, "41 41 A0"}};
    // clang-format on
    const tdBytes aucSecond = aucRandomRuns(3000, 256, 1, 4);
    for (tdCompressionType eType : {CompressionType_None, CompressionType_RunLength, CompressionType_LZW})
    {
        for (const auto& [aoBits, pszBytes] : aoCases)
            EXPECT_EQ(aucEncode(eType, {}, 0, aoBits), aucEncode(eType, aucHexBytes(pszBytes))) << pszBytes;
        // Calls outside vOpen .. vClose do nothing; reopened mid-stream (a started byte, an open
        // run or literals, a dictionary in use), a writer appends a fresh stream.
        for (const tdBytes& aucFirst : {aucRandomRuns(5000, 4, 300, 3), aucHexBytes("41*5 42")})
        {
            tdByteArray oAbandoned, oStream;
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
            EXPECT_EQ(aucArrayBytes(oStream), aucEncode(eType, aucSecond)) << eType;
            EXPECT_EQ(oWriter.m_lBytesOut, oStream.m_iSize) << eType;
        }
    }
    EXPECT_EQ(aucEncode(static_cast<tdCompressionType>(7), {1, 1, 1, 1}), tdBytes({1, 1, 1, 1}));
}

// Run-length bytes at the block and run limits; LZW bits code by code (k, the code
// number, and W, its width).
TEST(Encoders, WorkedExamples)
{
    const tdCompressionType eRL = CompressionType_RunLength, eLZW = CompressionType_LZW;
    // clang-format off
    const std::tuple<tdCompressionType, int, std::string, std::string> aoCases[] = {
        {eRL, 0, "", "00"}, {eRL, 0, "5A", "01 5A 00"}, {eRL, 0, "5A 5A", "02 5A 5A 00"}, {eRL, 0, "5A*3", "83 5A 00"},
        {eRL, 0, "5A*127", "FF 5A 00"}, {eRL, 0, "61 62 63*3", "02 61 62 83 63 00"}, {eRL, 0, "63*4 7A", "84 63 01 7A 00"},
        {eRL, 0, "5A*128", "FF 5A 01 5A 00"}, {eRL, 0, "5A*130", "FF 5A 83 5A 00"}, {eRL, 0, "5A*200", "FF 5A C9 5A 00"},
        {eRL, 0, "00+127", "7F 00+127 00"}, {eRL, 0, "00+128", "7F 00+127 01 7F 00"},
        {eRL, 0, "00+126 EE*3", "7F 00+126 EE 02 EE EE 00"}, // the block fills at the first EE
        {eRL, 0, "00+125 EE*3", "7F 00+125 EE EE 01 EE 00"}, {eRL, 0, "00+124 EE*3", "7C 00+124 83 EE 00"},
        {eLZW, 0, "", "0 01"}, // only the end code: k1, value 1, W=2
        {eLZW, 0, "41*4", "1 01000001  0 00  1 01000001  0 100"}, // A, k2 entry 0 (W=2), A, k4 end (W=3)
        {eLZW, 0, "41*10", "1 01000001  0 00  0 01  0 010  0 101"}, // A, k2 e0, k3 e1 (W=2), k4 e2 (W=3), end
        {eLZW, 0, "41 42 43 44 45 46 47", "1 01000001 1 01000010 1 01000011 1 01000100 1 01000101 1 01000110 1 01000111 0 1000"},
        // capacity 2: A, B (full), C, k4 clear (value 3, W=3); coding goes on
        {eLZW, 2, "41 42 43 44*3", "1 01000001  1 01000010  1 01000011  0 011  1 01000100  0 00  0 11"}};
    // clang-format on
    for (const auto& [eType, iTableSize, sInput, sExpected] : aoCases)
        EXPECT_EQ(aucEncode(eType, aucHexBytes(sInput), iTableSize),
                  eType == eLZW ? aucFromBits(sExpected) : aucHexBytes(sExpected))
            << sExpected;
}

// Both methods decoded and LZW beside the reference: the default 4094 entries filled
// again and again, capacities outside 1..4094 meaning the default, small capacities.
TEST(RoundTrip, EveryMethodOnChosenLengthsAndTheDictionaryFilled)
{
    const std::pair<tdCompressionType, int> aoWriters[] = {
        {CompressionType_RunLength, 0}, {CompressionType_LZW, 0},  {CompressionType_LZW, 1},
        {CompressionType_LZW, 2},       {CompressionType_LZW, 13}, {CompressionType_LZW, 5000}};
    // random bytes, two symbols, runs across the 127-byte run limit, a constant
    for (auto [uiAlphabet, uiMaxRun] : {std::pair{256u, 1u}, {2u, 1u}, {4u, 300u}, {1u, 1u}})
        for (unsigned int uiLength : {0u, 1u, 3u, 8u, 129u, 300u, 20000u})
            for (auto [eType, iTableSize] : aoWriters)
            {
                SCOPED_TRACE(testing::Message() << uiAlphabet << " " << uiLength << " " << iTableSize);
                const tdBytes aucInput = aucRandomRuns(uiLength, uiAlphabet, uiMaxRun, uiLength);
                tdBytes aucStream = aucEncode(eType, aucInput, iTableSize), aucDecoded;
                bool bLZW = eType == CompressionType_LZW;
                EXPECT_TRUE((bLZW ? bDecodeLZW : bDecodeRunLength)(aucStream, &aucDecoded));
                EXPECT_EQ(aucDecoded, aucInput);
                EXPECT_EQ(aucStream, bLZW ? aucReferenceLZW(aucInput, iTableSize) : aucStream);
            }
}

} // namespace
