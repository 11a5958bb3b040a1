// Tests of the bit writer and its three storage methods. Oracles: worked examples
// with their expected bits or bytes written out by hand, a run-length decoder and
// an LZW decoder written here from the stream formats alone, and a reference LZW
// encoder with an ordered map for a dictionary beside the hash-table encoder.

#include "qev/compress/lzw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

typedef std::vector<unsigned char> tdBytes;

tdBytes aucFromArray(const tdByteArray& oArray)
{
    if (oArray.m_iSize == 0) return tdBytes();
    return tdBytes(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize);
}

// Codes aucInput through vWrite, one byte at a time.
tdBytes aucEncode(tdCompressionType eType, const tdBytes& aucInput, int iTableSize = 0)
{
    tdByteArray oOutput;
    LZWCmp oWriter(eType, iTableSize, false);
    oWriter.vOpen(&oOutput, 8);
    for (unsigned char uc : aucInput)
        oWriter.vWrite(uc);
    oWriter.vClose();
    EXPECT_EQ(oWriter.m_lBytesOut, oOutput.m_iSize);
    return aucFromArray(oOutput);
}

// Packs a text of '0' and '1' (other characters ignored) most significant bit
// first, the last byte padded with zero bits.
tdBytes aucFromBits(const std::string& sBits)
{
    tdBytes auc;
    int iCount = 0;
    for (char c : sBits)
    {
        if (c != '0' && c != '1') continue;
        if (iCount % 8 == 0) auc.push_back(0);
        if (c == '1') auc.back() = static_cast<unsigned char>(auc.back() | (0x80 >> (iCount % 8)));
        iCount++;
    }
    return auc;
}

std::string sBits(unsigned int uiValue, int iWidth)
{
    std::string s;
    for (int i = iWidth - 1; i >= 0; i--)
        s += ((uiValue >> i) & 1u) ? '1' : '0';
    return s;
}

int iBitLength(unsigned int uiValue)
{
    int i = 0;
    while (uiValue)
    {
        i++;
        uiValue >>= 1;
    }
    return i;
}

// ---------------------------------------------------------------------------
// Run-length decoder: control 1..127 is followed by that many literals, 0x83..0xFF
// by one byte repeated (control - 0x80) times, 0 ends the stream. Fails on 0x80..0x82,
// on a truncated block, on a missing end or on bytes after the end.
bool bDecodeRunLength(const tdBytes& aucStream, tdBytes* paucOutput)
{
    paucOutput->clear();
    size_t i = 0;
    while (i < aucStream.size())
    {
        unsigned int uiControl = aucStream[i++];
        if (uiControl == 0) return i == aucStream.size();
        if (uiControl < 0x80)
        {
            if (aucStream.size() - i < uiControl) return false;
            paucOutput->insert(paucOutput->end(), aucStream.begin() + static_cast<long>(i),
                               aucStream.begin() + static_cast<long>(i + uiControl));
            i += uiControl;
        }
        else
        {
            if (uiControl < 0x83 || i >= aucStream.size()) return false;
            paucOutput->insert(paucOutput->end(), uiControl - 0x80, aucStream[i++]);
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// LZW decoder. The k-th code since the start or the last clear (k from 1) is 1 and
// 8 bits of a byte, or 0 and W = max(2, bit length of k) bits of n: n = k - 1
// clears, n = k ends, a smaller n is a dictionary entry. Entry k - 1 is the string
// of code k followed by the first byte of code k + 1, so when code k + 1 names
// entry k - 1 itself, that string is code k's string plus its own first byte.
struct tdLZWStats
{
    std::vector<int> m_aiClearAt; // k of each clear code
    int m_iMaxWidth = 0;          // widest number code
    size_t m_uiMaxEntries = 0;    // most entries defined before a clear or the end
    int m_iCodes = 0;
};

class BitReader
{
public:
    explicit BitReader(const tdBytes& aucStream) : m_aucStream(aucStream) {}
    bool bRead(int iCount, unsigned int* puiValue)
    {
        *puiValue = 0;
        for (int i = 0; i < iCount; i++)
        {
            if (m_uiBit >= m_aucStream.size() * 8) return false;
            unsigned int uiBit = (m_aucStream[m_uiBit / 8] >> (7 - m_uiBit % 8)) & 1u;
            *puiValue = (*puiValue << 1) | uiBit;
            m_uiBit++;
        }
        return true;
    }
    size_t uiPosition() const { return m_uiBit; }

private:
    const tdBytes& m_aucStream;
    size_t m_uiBit = 0;
};

bool bDecodeLZW(const tdBytes& aucStream, tdBytes* paucOutput, tdLZWStats* poStats)
{
    paucOutput->clear();
    BitReader oReader(aucStream);
    std::vector<tdBytes> aoEntries;
    tdBytes aucPrevious;
    bool bHavePrevious = false;
    int k = 0;
    for (;;)
    {
        k++;
        poStats->m_iCodes++;
        unsigned int uiFlag = 0;
        if (!oReader.bRead(1, &uiFlag)) return false;
        tdBytes aucCurrent;
        if (uiFlag)
        {
            unsigned int uiByte = 0;
            if (!oReader.bRead(8, &uiByte)) return false;
            aucCurrent.push_back(static_cast<unsigned char>(uiByte));
        }
        else
        {
            int iWidth = std::max(2, iBitLength(static_cast<unsigned int>(k)));
            poStats->m_iMaxWidth = std::max(poStats->m_iMaxWidth, iWidth);
            unsigned int n = 0;
            if (!oReader.bRead(iWidth, &n)) return false;
            if (n == static_cast<unsigned int>(k - 1))
            {
                poStats->m_aiClearAt.push_back(k);
                aoEntries.clear();
                bHavePrevious = false;
                k = 0;
                continue;
            }
            if (n == static_cast<unsigned int>(k))
            {
                // The rest of the last byte must be padding, and nothing may follow.
                size_t uiEnd = oReader.uiPosition();
                if ((uiEnd + 7) / 8 != aucStream.size()) return false;
                unsigned int uiPad = 0;
                if (!oReader.bRead(static_cast<int>((8 - uiEnd % 8) % 8), &uiPad) || uiPad != 0) return false;
                return true;
            }
            if (n < aoEntries.size())
                aucCurrent = aoEntries[n];
            else if (n == aoEntries.size() && bHavePrevious)
            {
                aucCurrent = aucPrevious;
                aucCurrent.push_back(aucPrevious[0]);
            }
            else
                return false;
        }
        if (bHavePrevious)
        {
            tdBytes aucEntry = aucPrevious;
            aucEntry.push_back(aucCurrent[0]);
            aoEntries.push_back(aucEntry);
            poStats->m_uiMaxEntries = std::max(poStats->m_uiMaxEntries, aoEntries.size());
        }
        paucOutput->insert(paucOutput->end(), aucCurrent.begin(), aucCurrent.end());
        aucPrevious = aucCurrent;
        bHavePrevious = true;
    }
}

// ---------------------------------------------------------------------------
// Reference LZW encoder: the dictionary is an ordered map from (prefix, byte) to
// the entry number, the code width is computed from k directly.
class BitWriter
{
public:
    void vPut(unsigned int uiValue, int iWidth)
    {
        for (int i = iWidth - 1; i >= 0; i--)
        {
            if (m_iCount % 8 == 0) m_auc.push_back(0);
            if ((uiValue >> i) & 1u)
                m_auc.back() = static_cast<unsigned char>(m_auc.back() | (0x80 >> (m_iCount % 8)));
            m_iCount++;
        }
    }
    tdBytes m_auc;

private:
    long m_iCount = 0;
};

tdBytes aucReferenceLZW(const tdBytes& aucInput, int iCapacity)
{
    // A prefix is a byte (0..255) or 256 + entry number; -1 is none.
    BitWriter oWriter;
    std::map<std::pair<long, unsigned char>, long> oDictionary;
    long lPrefix = -1;
    int k = 0;
    auto vEmit = [&](long lValue)
    {
        k++;
        if (lValue < 256)
        {
            oWriter.vPut(1, 1);
            oWriter.vPut(static_cast<unsigned int>(lValue), 8);
        }
        else
        {
            oWriter.vPut(0, 1);
            oWriter.vPut(static_cast<unsigned int>(lValue - 256),
                         std::max(2, iBitLength(static_cast<unsigned int>(k))));
        }
    };
    for (unsigned char uc : aucInput)
    {
        if (lPrefix < 0)
        {
            lPrefix = uc;
            continue;
        }
        auto it = oDictionary.find({lPrefix, uc});
        if (it != oDictionary.end())
        {
            lPrefix = 256 + it->second;
            continue;
        }
        oDictionary[{lPrefix, uc}] = k;
        vEmit(lPrefix);
        lPrefix = uc;
        if (static_cast<int>(oDictionary.size()) >= iCapacity)
        {
            vEmit(lPrefix);
            vEmit(256 + k); // clear: the (k + 1)-th code with value k
            k = 0;
            lPrefix = -1;
            oDictionary.clear();
        }
    }
    if (lPrefix >= 0) vEmit(lPrefix);
    vEmit(256 + k + 1); // end: the (k + 1)-th code with value k + 1
    return oWriter.m_auc;
}

// ---------------------------------------------------------------------------
// Test data.

tdBytes aucRandom(size_t uiLength, unsigned int uiSeed, int iAlphabet)
{
    std::mt19937 oRandom(uiSeed);
    std::uniform_int_distribution<int> oByte(0, iAlphabet - 1);
    tdBytes auc(uiLength);
    for (auto& uc : auc)
        uc = static_cast<unsigned char>(oByte(oRandom));
    return auc;
}

// Runs of random length (1..300) of random bytes: crosses the 127-byte run limit.
tdBytes aucRuns(size_t uiLength, unsigned int uiSeed)
{
    std::mt19937 oRandom(uiSeed);
    tdBytes auc;
    while (auc.size() < uiLength)
    {
        size_t uiRun = 1 + oRandom() % 300;
        unsigned char uc = static_cast<unsigned char>(oRandom() % 4);
        auc.insert(auc.end(), std::min(uiRun, uiLength - auc.size()), uc);
    }
    return auc;
}

// Screen 8 bytes (green 3 bits, red 3, blue 2) of a smooth picture with some
// noise, 256 bytes a line: what the bitmap encoders feed the writer.
tdBytes aucPhotoLike(size_t uiLength, unsigned int uiSeed)
{
    std::mt19937 oRandom(uiSeed);
    std::uniform_real_distribution<double> oNoise(-0.6, 0.6);
    tdBytes auc(uiLength);
    for (size_t i = 0; i < uiLength; i++)
    {
        double fX = static_cast<double>(i % 256);
        double fY = static_cast<double>(i / 256);
        double fG = 3.5 + 3.4 * std::sin(fX / 40.0) * std::cos(fY / 30.0) + oNoise(oRandom);
        double fR = 3.5 + 3.4 * std::cos((fX + fY) / 55.0) + oNoise(oRandom);
        double fB = 1.5 + 1.4 * std::sin(fY / 20.0) + oNoise(oRandom) * 0.5;
        int iG = std::clamp(static_cast<int>(fG), 0, 7);
        int iR = std::clamp(static_cast<int>(fR), 0, 7);
        int iB = std::clamp(static_cast<int>(fB), 0, 3);
        auc[i] = static_cast<unsigned char>((iG << 5) | (iR << 2) | iB);
    }
    return auc;
}

// ===========================================================================
// Bit packing

TEST(BitWriter, ThreeBitsThenFiveBitsMakeOneByte)
{
    // 101 00001: the values 5 in 3 bits and 1 in 5 bits.
    tdByteArray oOutput;
    LZWCmp oWriter(CompressionType_None, 0, false);
    oWriter.vOpen(&oOutput, 8);
    oWriter.vWriteBits(5, 3);
    oWriter.vWriteBits(1, 5);
    oWriter.vClose();
    EXPECT_EQ(aucFromArray(oOutput), tdBytes({0xA1}));
}

TEST(BitWriter, CloseCompletesAStartedByteWithZeroBits)
{
    struct tdCase
    {
        std::vector<std::pair<int, int>> m_aoWrites; // value, bit count
        tdBytes m_aucExpected;
    };
    // clang-format off
    const tdCase aoCases[] = {
        {{{1, 1}},                 {0x80}},        // 1 -> 1000 0000
        {{{0x1FF, 9}},             {0xFF, 0x80}},  // 1111 1111 | 1 -> 1000 0000
        {{{0x7F, 7}},              {0xFE}},        // 111 1111 -> 1111 1110
        {{{0x3, 1}, {0x2, 2}},     {0xC0}},        // lowest bit of 3 = 1, then 10 -> 110 0 0000
        {{{-1, 40}},               {0x00, 0xFF, 0xFF, 0xFF, 0xFF}}, // 8 high zero bits, then 32 ones
        {{{0xAB, 0}},              {}},            // no bits
        {{},                       {}},
    };
    // clang-format on
    for (const tdCase& oCase : aoCases)
    {
        tdByteArray oOutput;
        LZWCmp oWriter(CompressionType_None, 0, false);
        oWriter.vOpen(&oOutput, 8);
        for (auto oWrite : oCase.m_aoWrites)
            oWriter.vWriteBits(oWrite.first, static_cast<unsigned char>(oWrite.second));
        oWriter.vClose();
        EXPECT_EQ(aucFromArray(oOutput), oCase.m_aucExpected);
    }
}

// Any split of a byte stream into bit groups gives the output of whole bytes.
class BitSplitTest : public ::testing::TestWithParam<tdCompressionType>
{
};

TEST_P(BitSplitTest, AnySplitEqualsWholeBytes)
{
    const tdBytes aucInput = aucPhotoLike(5000, 7);
    std::mt19937 oRandom(11);
    // Read the input as one bit string and write it in groups of 1 to 8 bits.
    tdByteArray oOutput;
    LZWCmp oWriter(GetParam(), 0, false);
    oWriter.vOpen(&oOutput, 8);
    size_t uiBit = 0;
    const size_t uiBits = aucInput.size() * 8;
    while (uiBit < uiBits)
    {
        int iCount = static_cast<int>(std::min<size_t>(1 + oRandom() % 8, uiBits - uiBit));
        int iValue = 0;
        for (int i = 0; i < iCount; i++, uiBit++)
            iValue = (iValue << 1) | ((aucInput[uiBit / 8] >> (7 - uiBit % 8)) & 1);
        // Bits above the count must be ignored.
        iValue |= static_cast<int>((oRandom() & 0xFFFFu) << iCount);
        oWriter.vWriteBits(iValue, static_cast<unsigned char>(iCount));
    }
    oWriter.vClose();
    EXPECT_EQ(aucFromArray(oOutput), aucEncode(GetParam(), aucInput));
}

INSTANTIATE_TEST_SUITE_P(AllMethods, BitSplitTest,
                         ::testing::Values(CompressionType_None, CompressionType_RunLength,
                                           CompressionType_LZW));

// A started byte at the close is coded before the stream ends, by every method.
TEST(BitWriter, StartedByteAtCloseIsCodedByEveryMethod)
{
    for (tdCompressionType eType : {CompressionType_RunLength, CompressionType_LZW})
    {
        tdByteArray oOutput;
        LZWCmp oWriter(eType, 0, false);
        oWriter.vOpen(&oOutput, 8);
        oWriter.vWriteBits(0x41, 8);
        oWriter.vWriteBits(0x41, 8);
        oWriter.vWriteBits(0x5, 3); // 101 -> 1010 0000
        oWriter.vClose();
        tdBytes aucDecoded;
        tdLZWStats oStats;
        bool bOk = eType == CompressionType_LZW ? bDecodeLZW(aucFromArray(oOutput), &aucDecoded, &oStats)
                                                : bDecodeRunLength(aucFromArray(oOutput), &aucDecoded);
        EXPECT_TRUE(bOk) << eType;
        EXPECT_EQ(aucDecoded, tdBytes({0x41, 0x41, 0xA0})) << eType;
    }
}

TEST(BitWriter, AppendsAfterExistingBytesAndCountsOnlyItsOwn)
{
    tdByteArray oOutput;
    oOutput.vAppend(0x11);
    oOutput.vAppend(0x22);
    LZWCmp oWriter(CompressionType_LZW, 0, false);
    oWriter.vOpen(&oOutput, 8);
    for (int i = 0; i < 4; i++)
        oWriter.vWrite(0x41);
    oWriter.vClose();
    EXPECT_EQ(aucFromArray(oOutput), tdBytes({0x11, 0x22, 0xA0, 0x8A, 0x0A, 0x00}));
    EXPECT_EQ(oWriter.m_lBytesOut, 4);
}

TEST(BitWriter, CallsOutsideOpenAndCloseDoNothing)
{
    for (tdCompressionType eType : {CompressionType_None, CompressionType_RunLength, CompressionType_LZW})
    {
        LZWCmp oUnopened(eType, 0, false);
        oUnopened.vWriteBits(0xFF, 8);
        oUnopened.vWrite(1);
        oUnopened.vClose();
        EXPECT_EQ(oUnopened.m_lBytesOut, 0);

        tdByteArray oOutput;
        LZWCmp oWriter(eType, 0, false);
        oWriter.vOpen(&oOutput, 8);
        oWriter.vWrite(7);
        oWriter.vClose();
        tdBytes aucClosed = aucFromArray(oOutput);
        oWriter.vWrite(7);
        oWriter.vWriteBits(1, 1);
        oWriter.vClose();
        EXPECT_EQ(aucFromArray(oOutput), aucClosed) << eType;
    }
}

TEST(BitWriter, OpenResetsAllCodingState)
{
    // A writer reopened in the middle of a stream (a started input byte, an open run,
    // a dictionary in use) codes the next stream as a new writer does.
    const tdBytes aucFirst = aucPhotoLike(9000, 3);
    const tdBytes aucSecond = aucPhotoLike(3000, 4);
    for (tdCompressionType eType : {CompressionType_None, CompressionType_RunLength, CompressionType_LZW})
    {
        tdByteArray oAbandoned;
        tdByteArray oOutput;
        LZWCmp oWriter(eType, 0, false);
        oWriter.vOpen(&oAbandoned, 8);
        for (unsigned char uc : aucFirst)
            oWriter.vWrite(uc);
        oWriter.vWrite(9);
        oWriter.vWrite(9);
        oWriter.vWrite(9);
        oWriter.vWriteBits(1, 3);
        oWriter.vOpen(&oOutput, 8);
        for (unsigned char uc : aucSecond)
            oWriter.vWrite(uc);
        oWriter.vClose();
        EXPECT_EQ(aucFromArray(oOutput), aucEncode(eType, aucSecond)) << eType;
        EXPECT_EQ(oWriter.m_lBytesOut, oOutput.m_iSize) << eType;
    }
}

TEST(BitWriter, UnknownCompressionTypeStoresBytesAsTheyCome)
{
    const tdBytes aucInput = {1, 1, 1, 1, 2};
    EXPECT_EQ(aucEncode(static_cast<tdCompressionType>(7), aucInput), aucInput);
    EXPECT_EQ(aucEncode(static_cast<tdCompressionType>(-1), aucInput), aucInput);
}

// ===========================================================================
// Run-length coding: hand-made inputs at the block and run limits.

struct tdRunLengthCase
{
    const char* m_pszName;
    tdBytes m_aucInput;
    tdBytes m_aucExpected;
};

tdBytes aucRepeat(size_t uiCount, unsigned char uc)
{
    return tdBytes(uiCount, uc);
}

tdBytes aucDistinct(size_t uiCount, unsigned char ucFirst)
{
    tdBytes auc(uiCount);
    for (size_t i = 0; i < uiCount; i++)
        auc[i] = static_cast<unsigned char>(ucFirst + i);
    return auc;
}

tdBytes aucJoin(std::initializer_list<tdBytes> aoParts)
{
    tdBytes auc;
    for (const tdBytes& o : aoParts)
        auc.insert(auc.end(), o.begin(), o.end());
    return auc;
}

std::vector<tdRunLengthCase> aoRunLengthCases()
{
    const unsigned char b = 0x5A;
    // clang-format off
    return {
        // empty                         -> 00
        {"Empty",          {},                               {0x00}},
        // 'x'                           -> 01 'x' 00
        {"OneByte",        {b},                              {0x01, b, 0x00}},
        // two equal stay literals       -> 02 b b 00
        {"TwoEqual",       {b, b},                           {0x02, b, b, 0x00}},
        // the third equal one starts a run -> 83 b 00
        {"ThreeEqual",     {b, b, b},                        {0x83, b, 0x00}},
        // 'a' 'b' then run of 3 'c'     -> 02 'a' 'b' 83 'c' 00
        {"LiteralsThenRun", {'a', 'b', 'c', 'c', 'c'},       {0x02, 'a', 'b', 0x83, 'c', 0x00}},
        // run then another byte         -> 84 b 01 'z' 00
        {"RunThenLiteral", {b, b, b, b, 'z'},                {0x84, b, 0x01, 'z', 0x00}},
        // 127 equal: the longest run    -> FF b 00
        {"Run127",         aucRepeat(127, b),                {0xFF, b, 0x00}},
        // 128 equal: run full, 1 left   -> FF b 01 b 00
        {"Run128",         aucRepeat(128, b),                {0xFF, b, 0x01, b, 0x00}},
        // 129 equal                     -> FF b 02 b b 00
        {"Run129",         aucRepeat(129, b),                {0xFF, b, 0x02, b, b, 0x00}},
        // 130 equal: a second run of 3  -> FF b 83 b 00
        {"Run130",         aucRepeat(130, b),                {0xFF, b, 0x83, b, 0x00}},
        // 200 equal                     -> FF b C9 b 00 (127 + 73)
        {"Run200",         aucRepeat(200, b),                {0xFF, b, 0xC9, b, 0x00}},
        // 127 distinct: a full block    -> 7F (127 bytes) 00
        {"Literal127",     aucDistinct(127, 0),              aucJoin({{0x7F}, aucDistinct(127, 0), {0x00}})},
        // 128 distinct                  -> 7F (127 bytes) 01 (1 byte) 00
        {"Literal128",     aucDistinct(128, 0),              aucJoin({{0x7F}, aucDistinct(127, 0), {0x01, 127, 0x00}})},
        // 126 distinct + y y y: the block fills at the first y, so the next two y stay literals
        //                               -> 7F (126 bytes, y) 02 y y 00
        {"RunAcrossFullBlock", aucJoin({aucDistinct(126, 0), aucRepeat(3, 0xEE)}),
                                                             aucJoin({{0x7F}, aucDistinct(126, 0), {0xEE, 0x02, 0xEE, 0xEE, 0x00}})},
        // 125 distinct + y y y: the block fills at the second y -> 7F (125 bytes, y, y) 01 y 00
        {"BlockFillsBeforeRun", aucJoin({aucDistinct(125, 0), aucRepeat(3, 0xEE)}),
                                                             aucJoin({{0x7F}, aucDistinct(125, 0), {0xEE, 0xEE, 0x01, 0xEE, 0x00}})},
        // 124 distinct + y y y: the run takes two literals back -> 7C (124 bytes) 83 y 00
        {"RunTakesLiteralsBack", aucJoin({aucDistinct(124, 0), aucRepeat(3, 0xEE)}),
                                                             aucJoin({{0x7C}, aucDistinct(124, 0), {0x83, 0xEE, 0x00}})},
    };
    // clang-format on
}

class RunLengthExampleTest : public ::testing::TestWithParam<tdRunLengthCase>
{
};

TEST_P(RunLengthExampleTest, EncodesAsAnnotated)
{
    const tdRunLengthCase& oCase = GetParam();
    tdBytes aucStream = aucEncode(CompressionType_RunLength, oCase.m_aucInput);
    EXPECT_EQ(aucStream, oCase.m_aucExpected);
    tdBytes aucDecoded;
    EXPECT_TRUE(bDecodeRunLength(aucStream, &aucDecoded));
    EXPECT_EQ(aucDecoded, oCase.m_aucInput);
}

INSTANTIATE_TEST_SUITE_P(HandMade, RunLengthExampleTest, ::testing::ValuesIn(aoRunLengthCases()),
                         [](const ::testing::TestParamInfo<tdRunLengthCase>& oInfo)
                         { return std::string(oInfo.param.m_pszName); });

// ===========================================================================
// LZW coding: hand-made inputs at the code-width and dictionary limits, expected
// bits written code by code as "k:bits".

struct tdLZWCase
{
    const char* m_pszName;
    tdBytes m_aucInput;
    int m_iTableSize;
    std::string m_sBits;
};

std::string sTriangleOfA(int iCodes)
{
    // 1 + 2 + ... + iCodes bytes 'A' code as the literal A, then entries 0, 1, ...
    // (strings AA, AAA, ...), each number code at the width of its k, then the end.
    std::string s = "1 01000001 ";
    for (int k = 2; k <= iCodes; k++)
        s += "0 " +
             sBits(static_cast<unsigned int>(k - 2), std::max(2, iBitLength(static_cast<unsigned int>(k)))) +
             " ";
    int kEnd = iCodes + 1;
    s += "0 " +
         sBits(static_cast<unsigned int>(kEnd), std::max(2, iBitLength(static_cast<unsigned int>(kEnd))));
    return s;
}

std::vector<tdLZWCase> aoLZWCases()
{
    // clang-format off
    return {
        // only the end code: k1 value 1 in W=2             -> 0 01 (0x20)
        {"Empty",        {},                              0, "0 01"},
        // k1 'A', k2 end (value 2, W=2)
        {"OneByte",      {'A'},                           0, "1 01000001  0 10"},
        // k1 'A' (stores entry 0 = AB), k2 'B', k3 end (value 3, W=2)
        {"TwoBytes",     {'A', 'B'},                      0, "1 01000001  1 01000010  0 11"},
        // k1 'A', k2 entry 0 (W=2), k3 'A', k4 end (value 4, W=3): A0 8A 0A 00
        {"FourA",        {'A', 'A', 'A', 'A'},            0, "1 01000001  0 00  1 01000001  0 100"},
        // 1+2+3+4 'A': k1 'A', k2 e0, k3 e1 (W=2), k4 e2 (W=3), k5 end 101
        {"TenA",         aucRepeat(10, 'A'),              0, "1 01000001  0 00  0 01  0 010  0 101"},
        // 1+..+7 'A': last entry e5 at k7 (W=3), end k8 = 1000 in W=4
        {"TwentyEightA", aucRepeat(28, 'A'),              0, sTriangleOfA(7)},
        // 1+..+8 'A': e6 at k8 in W=4, end k9 = 1001
        {"ThirtySixA",   aucRepeat(36, 'A'),              0, sTriangleOfA(8)},
        // 1+..+15 'A': e13 at k15 (W=4), end k16 = 10000 in W=5
        {"OneTwentyA",   aucRepeat(120, 'A'),             0, sTriangleOfA(15)},
        // seven distinct: k1..k7 literals, end k8 in W=4
        {"SevenDistinct", {'A', 'B', 'C', 'D', 'E', 'F', 'G'}, 0,
            "1 01000001  1 01000010  1 01000011  1 01000100  1 01000101  1 01000110  1 01000111  0 1000"},
        // capacity 1: entry 0 fills the table at k1 -> k2 'B', k3 clear (value 2, W=2);
        // after the clear the end is k1 (value 1, W=2): A0 D0 91
        {"ClearAtCapacityOne", {'A', 'B'},                1, "1 01000001  1 01000010  0 10  0 01"},
        // capacity 2: k1 'A' (e0 AB), k2 'B' (e1 BC, full), k3 'C', k4 clear (value 3, W=3), then k1 end
        {"ClearAtCapacityTwo", {'A', 'B', 'C'},           2, "1 01000001  1 01000010  1 01000011  0 011  0 01"},
        // capacity 2, then more input after the clear: "ABC" as above, then 'D' 'D' 'D':
        // k1 'D' (e0 DD), k2 e0 (W=2), k3 end (value 3, W=2)
        {"CodingResumesAfterClear", {'A', 'B', 'C', 'D', 'D', 'D'}, 2,
            "1 01000001  1 01000010  1 01000011  0 011  1 01000100  0 00  0 11"},
    };
    // clang-format on
}

class LZWExampleTest : public ::testing::TestWithParam<tdLZWCase>
{
};

TEST_P(LZWExampleTest, EncodesAsAnnotated)
{
    const tdLZWCase& oCase = GetParam();
    tdBytes aucStream = aucEncode(CompressionType_LZW, oCase.m_aucInput, oCase.m_iTableSize);
    EXPECT_EQ(aucStream, aucFromBits(oCase.m_sBits));
    tdBytes aucDecoded;
    tdLZWStats oStats;
    EXPECT_TRUE(bDecodeLZW(aucStream, &aucDecoded, &oStats));
    EXPECT_EQ(aucDecoded, oCase.m_aucInput);
}

INSTANTIATE_TEST_SUITE_P(HandMade, LZWExampleTest, ::testing::ValuesIn(aoLZWCases()),
                         [](const ::testing::TestParamInfo<tdLZWCase>& oInfo)
                         { return std::string(oInfo.param.m_pszName); });

TEST(LZWExamples, ByteStringsAsStored)
{
    // clang-format off
    EXPECT_EQ(aucEncode(CompressionType_LZW, aucRepeat(4, 0x41)),     tdBytes({0xA0, 0x8A, 0x0A, 0x00}));
    EXPECT_EQ(aucEncode(CompressionType_LZW, {}),                     tdBytes({0x20}));
    EXPECT_EQ(aucEncode(CompressionType_LZW, {'A', 'B'}, 1),          tdBytes({0xA0, 0xD0, 0x91}));
    // clang-format on
}

TEST(LZWExamples, AllByteValuesEndInNineBitCode)
{
    // 256 distinct bytes: 256 literal codes, then the end code k = 257 in W = 9 bits,
    // 2314 bits in 290 bytes.
    tdBytes aucInput = aucDistinct(256, 0);
    std::string sExpected;
    for (unsigned int ui = 0; ui < 256; ui++)
        sExpected += "1" + sBits(ui, 8);
    sExpected += "0" + sBits(257, 9);
    tdBytes aucStream = aucEncode(CompressionType_LZW, aucInput);
    EXPECT_EQ(aucStream.size(), 290u);
    EXPECT_EQ(aucStream, aucFromBits(sExpected));
}

// ===========================================================================
// Round trips through every method, for many lengths and kinds of data.

enum tdDataKind
{
    Data_Random,
    Data_TwoSymbols,
    Data_Constant,
    Data_Ramp,
    Data_Runs,
    Data_PhotoLike,
};

const char* pszDataKindName(tdDataKind eKind)
{
    switch (eKind)
    {
    case Data_Random:
        return "Random";
    case Data_TwoSymbols:
        return "TwoSymbols";
    case Data_Constant:
        return "Constant";
    case Data_Ramp:
        return "Ramp";
    case Data_Runs:
        return "Runs";
    case Data_PhotoLike:
        return "PhotoLike";
    }
    return "";
}

tdBytes aucMakeData(tdDataKind eKind, size_t uiLength, unsigned int uiSeed)
{
    switch (eKind)
    {
    case Data_Random:
        return aucRandom(uiLength, uiSeed, 256);
    case Data_TwoSymbols:
        return aucRandom(uiLength, uiSeed, 2);
    case Data_Constant:
        return aucRepeat(uiLength, 0xC3);
    case Data_Ramp:
    {
        tdBytes auc(uiLength);
        for (size_t i = 0; i < uiLength; i++)
            auc[i] = static_cast<unsigned char>(i * 7 + i / 256);
        return auc;
    }
    case Data_Runs:
        return aucRuns(uiLength, uiSeed);
    case Data_PhotoLike:
        return aucPhotoLike(uiLength, uiSeed);
    }
    return tdBytes();
}

std::vector<size_t> auiLengths()
{
    std::vector<size_t> aui;
    for (size_t ui = 0; ui <= 300; ui++)
        aui.push_back(ui);
    for (size_t ui :
         {381u, 511u, 512u, 513u, 1000u, 4093u, 4094u, 4095u, 4096u, 4097u, 8191u, 12289u, 54272u})
        aui.push_back(ui);
    return aui;
}

typedef std::tuple<tdCompressionType, tdDataKind> tdRoundTripParam;

class RoundTripTest : public ::testing::TestWithParam<tdRoundTripParam>
{
protected:
    // Encodes, checks the stream against the decoder and (for LZW) the reference
    // encoder; returns the decoder's statistics.
    tdLZWStats oCheck(const tdBytes& aucInput, int iTableSize)
    {
        tdCompressionType eType = std::get<0>(GetParam());
        tdBytes aucStream = aucEncode(eType, aucInput, iTableSize);
        tdBytes aucDecoded;
        tdLZWStats oStats;
        switch (eType)
        {
        case CompressionType_None:
            aucDecoded = aucStream;
            break;
        case CompressionType_RunLength:
            EXPECT_TRUE(bDecodeRunLength(aucStream, &aucDecoded)) << aucInput.size();
            // Worst case: one control byte per 127 literals, plus the end.
            EXPECT_LE(aucStream.size(), aucInput.size() + (aucInput.size() + 126) / 127 + 1);
            break;
        default:
            EXPECT_TRUE(bDecodeLZW(aucStream, &aucDecoded, &oStats)) << aucInput.size();
            EXPECT_EQ(aucStream, aucReferenceLZW(aucInput, iTableSize == 0 ? 4094 : iTableSize))
                << aucInput.size();
            break;
        }
        EXPECT_EQ(aucDecoded, aucInput) << aucInput.size();
        return oStats;
    }
};

TEST_P(RoundTripTest, ManyLengths)
{
    tdDataKind eKind = std::get<1>(GetParam());
    for (size_t uiLength : auiLengths())
    {
        oCheck(aucMakeData(eKind, uiLength, static_cast<unsigned int>(uiLength)), 0);
        if (HasFailure()) return;
    }
}

// Long enough to fill the 4094-entry dictionary many times (random data adds one
// entry for about every byte).
TEST_P(RoundTripTest, FillsTheDictionaryRepeatedly)
{
    tdDataKind eKind = std::get<1>(GetParam());
    tdLZWStats oStats = oCheck(aucMakeData(eKind, 300000, 99), 0);
    if (std::get<0>(GetParam()) != CompressionType_LZW) return;
    // Every clear comes right when entry 4093 is in place: k = 4096 with W = 13,
    // never more than 4094 entries.
    for (int k : oStats.m_aiClearAt)
        EXPECT_EQ(k, 4096);
    EXPECT_LE(oStats.m_uiMaxEntries, 4094u);
    EXPECT_LE(oStats.m_iMaxWidth, 13);
    if (eKind == Data_Random || eKind == Data_TwoSymbols)
    {
        EXPECT_GE(oStats.m_aiClearAt.size(), 3u);
        EXPECT_EQ(oStats.m_iMaxWidth, 13);
    }
}

std::string sRoundTripName(const ::testing::TestParamInfo<tdRoundTripParam>& oInfo)
{
    static const char* const apszTypes[] = {"None", "RunLength", "LZW"};
    return std::string(apszTypes[std::get<0>(oInfo.param)]) + "_" + pszDataKindName(std::get<1>(oInfo.param));
}

INSTANTIATE_TEST_SUITE_P(AllMethods, RoundTripTest,
                         ::testing::Combine(::testing::Values(CompressionType_None, CompressionType_RunLength,
                                                              CompressionType_LZW),
                                            ::testing::Values(Data_Random, Data_TwoSymbols, Data_Constant,
                                                              Data_Ramp, Data_Runs, Data_PhotoLike)),
                         sRoundTripName);

// Small dictionaries clear often: every clear position and code width after it.
class LZWSmallDictionaryTest : public RoundTripTest
{
};

TEST_P(LZWSmallDictionaryTest, ClearsWhenFull)
{
    tdDataKind eKind = std::get<1>(GetParam());
    for (int iTableSize : {1, 2, 3, 5, 13, 100})
        for (size_t uiLength : {0u, 1u, 2u, 3u, 7u, 50u, 1000u, 5000u})
        {
            tdLZWStats oStats =
                oCheck(aucMakeData(eKind, uiLength, static_cast<unsigned int>(uiLength * 3 + 1)), iTableSize);
            for (int k : oStats.m_aiClearAt)
                EXPECT_EQ(k, iTableSize + 2);
            EXPECT_LE(oStats.m_uiMaxEntries, static_cast<size_t>(iTableSize));
            if (HasFailure()) return;
        }
}

INSTANTIATE_TEST_SUITE_P(LZW, LZWSmallDictionaryTest,
                         ::testing::Combine(::testing::Values(CompressionType_LZW),
                                            ::testing::Values(Data_Random, Data_TwoSymbols, Data_Constant,
                                                              Data_Ramp, Data_Runs, Data_PhotoLike)),
                         sRoundTripName);

// ===========================================================================
// The dictionary table.

TEST(HashTable, SlotCountIsSmallestPrimeNotBelowThreeTimesCapacity)
{
    // clang-format off
    const int aiCases[][2] = {
        // capacity, slots
        {   1,     3},
        {   2,     7},
        {   3,    11},   // 9 -> 11
        {   4,    13},   // 12 -> 13
        {  10,    31},   // 30 -> 31
        {4094, 12289},   // 12282 -> 12289
    };
    // clang-format on
    for (const auto& aiCase : aiCases)
    {
        Hash_Table oTable(aiCase[0], 12, 8);
        EXPECT_EQ(oTable.m_iSlotCount, aiCase[1]) << aiCase[0];
    }
}

TEST(HashTable, AddGetFullAndReset)
{
    Hash_Table oTable(3, 4, 2);
    const unsigned char aucA[4] = {1, 2, 30, 40};
    const unsigned char aucB[4] = {1, 3, 50, 60};
    const unsigned char aucC[4] = {2, 1, 70, 80};
    const unsigned char aucKeyOnly[2] = {1, 3};
    EXPECT_EQ(oTable.pvGet(aucA), nullptr);
    EXPECT_FALSE(oTable.bIsFull());
    unsigned char* pucA = static_cast<unsigned char*>(oTable.pvAdd(aucA));
    ASSERT_NE(pucA, nullptr);
    EXPECT_NE(pucA, aucA);
    EXPECT_EQ(memcmp(pucA, aucA, 4), 0);
    oTable.pvAdd(aucB);
    // The lookup compares the key bytes only and returns the whole stored record.
    const unsigned char* pucB = static_cast<const unsigned char*>(oTable.pvGet(aucKeyOnly));
    ASSERT_NE(pucB, nullptr);
    EXPECT_EQ(memcmp(pucB, aucB, 4), 0);
    EXPECT_EQ(oTable.pvGet(aucC), nullptr);
    EXPECT_FALSE(oTable.bIsFull());
    oTable.pvAdd(aucC);
    EXPECT_TRUE(oTable.bIsFull());
    EXPECT_EQ(oTable.m_iUsed, 3);
    // Full: nothing more is stored.
    const unsigned char aucD[4] = {9, 9, 9, 9};
    EXPECT_EQ(oTable.pvAdd(aucD), nullptr);
    EXPECT_EQ(oTable.pvGet(aucD), nullptr);
    oTable.vReset();
    EXPECT_EQ(oTable.m_iUsed, 0);
    EXPECT_FALSE(oTable.bIsFull());
    EXPECT_EQ(oTable.pvGet(aucA), nullptr);
    EXPECT_EQ(oTable.pvGet(aucKeyOnly), nullptr);
}

TEST(HashTable, CollisionsProbeOnAndWrapAround)
{
    // Capacity 2: 7 slots. A one-byte key k hashes to k, home slot k mod 7.
    Hash_Table oTable(2, 2, 1);
    ASSERT_EQ(oTable.m_iSlotCount, 7);
    const unsigned char aucSix[2] = {6, 0xA6};       // home slot 6
    const unsigned char aucThirteen[2] = {13, 0xAD}; // home slot 6, taken: wraps to slot 0
    const unsigned char aucTwenty[1] = {20};         // home slot 6: probes 6, 0, then empty 1
    oTable.pvAdd(aucSix);
    unsigned char* pucThirteen = static_cast<unsigned char*>(oTable.pvAdd(aucThirteen));
    const int iSlotSize = 3;
    EXPECT_EQ(pucThirteen, oTable.m_pucSlots + 0 * iSlotSize + 1);
    EXPECT_EQ(oTable.m_pucSlots[6 * iSlotSize], 1);
    EXPECT_EQ(oTable.m_pucSlots[6 * iSlotSize + 2], 0xA6);
    const unsigned char* pucFound = static_cast<const unsigned char*>(oTable.pvGet(aucThirteen));
    ASSERT_NE(pucFound, nullptr);
    EXPECT_EQ(pucFound[1], 0xAD);
    EXPECT_EQ(oTable.pvGet(aucTwenty), nullptr);
}

TEST(HashTable, HashIsTimes53PlusByteOverTheKey)
{
    // Key {1, 2}: h = (0 * 53 + 1) * 53 + 2 = 55; 55 mod 7 = 6.
    Hash_Table oTable(2, 3, 2);
    const unsigned char aucRecord[3] = {1, 2, 3};
    unsigned char* puc = static_cast<unsigned char*>(oTable.pvAdd(aucRecord));
    EXPECT_EQ(puc, oTable.m_pucSlots + 6 * 4 + 1);
}

} // namespace
