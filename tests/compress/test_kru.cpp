// Tests of the KRU block compressor and the KRU record. Oracles: worked examples
// whose bytes were worked out by hand from the block format; a decoder written here
// from the block format alone (flag bits from bit 7 down, a flag byte fetched only
// when a bit is needed and every data byte at the moment it is needed, Elias-gamma
// lengths, overlapping copies, the end marker); a layout routine that places each
// data byte after the flag byte holding its item's flag bit; a brute-force parser
// that tries every distance 1 .. 2047 beside the chained search; and the command
// layouts of the record format written out as byte strings.

#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/compress/kru_compressor.h"
#include "qev/files/kru_record.h"
#include "qev/msx/vdp.h"
#include "tests/support/codecs.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace
{

typedef std::vector<unsigned char> tdBytes;

tdBytes aucFromArray(const tdByteArray* poArray)
{
    if (!poArray || poArray->m_iSize == 0) return tdBytes();
    return tdBytes(poArray->m_pucData, poArray->m_pucData + poArray->m_iSize);
}

tdBytes aucFromHex(const char* pszHex)
{
    tdBytes auc;
    unsigned int uiByte = 0;
    int iDigits = 0;
    for (const char* pc = pszHex; *pc; pc++)
    {
        int iValue = -1;
        if (*pc >= '0' && *pc <= '9') iValue = *pc - '0';
        if (*pc >= 'A' && *pc <= 'F') iValue = *pc - 'A' + 10;
        if (iValue < 0) continue;
        uiByte = uiByte * 16 + static_cast<unsigned int>(iValue);
        if (++iDigits == 2)
        {
            auc.push_back(static_cast<unsigned char>(uiByte));
            uiByte = 0;
            iDigits = 0;
        }
    }
    return auc;
}

// Compresses one block with the module's compressor (window 2048).
tdBytes aucCompress(const tdBytes& aucInput)
{
    tdBytes aucCopy = aucInput;
    vEncode_Init(2048);
    tdByteArray* poPacked = poEncode_Encode(aucCopy.empty() ? nullptr : aucCopy.data(),
                                            static_cast<unsigned int>(aucCopy.size()));
    vEncode_Release();
    tdBytes auc = aucFromArray(poPacked);
    delete poPacked;
    return auc;
}

// Decodes a whole block with the test decoder; the end marker must finish exactly
// at the block's end.
bool bDecompress(const tdBytes& aucPacked, tdBytes* paucOut, size_t uiLimit = 1u << 20)
{
    return bDecompressKRUBlock(aucPacked, paucOut, uiLimit);
}

// One item of a compressed block: a literal (offset 0) or a match.
struct tdItem
{
    unsigned int m_uiOffset; // 0 for a literal
    unsigned int m_uiValue;  // the literal byte, or the match length
};
tdItem oLit(unsigned int uiByte)
{
    return tdItem{0, uiByte};
}
tdItem oMatch(unsigned int uiOffset, unsigned int uiLength)
{
    return tdItem{uiOffset, uiLength};
}

// Lays out items and the end marker: each data byte is filed under the flag byte
// that holds its item's flag bit; output is every flag byte (zero-filled) followed
// by its data bytes.
tdBytes aucLayout(const std::vector<tdItem>& aoItems)
{
    std::vector<int> aiBits;
    std::vector<tdBytes> aaucData;
    auto vData = [&](unsigned int uiByte)
    {
        size_t uiGroup = aiBits.size() / 8;
        if (aaucData.size() <= uiGroup) aaucData.resize(uiGroup + 1);
        aaucData[uiGroup].push_back(static_cast<unsigned char>(uiByte));
    };
    auto vGamma = [&](unsigned long long ulN)
    {
        int iTop = 63;
        while (!((ulN >> iTop) & 1))
            iTop--;
        for (int i = 0; i < iTop; i++)
            aiBits.push_back(1);
        aiBits.push_back(0);
        for (int i = iTop - 1; i >= 0; i--)
            aiBits.push_back(static_cast<int>((ulN >> i) & 1));
    };
    std::vector<tdItem> aoAll = aoItems;
    aoAll.push_back(oMatch(1, 65537));
    for (const tdItem& oItem : aoAll)
    {
        if (oItem.m_uiOffset == 0)
        {
            vData(oItem.m_uiValue);
            aiBits.push_back(0);
            continue;
        }
        unsigned int uiCode = oItem.m_uiOffset - 1;
        vData(uiCode < 128 ? uiCode : 128 + (uiCode & 127));
        aiBits.push_back(1);
        if (uiCode >= 128)
            for (int i = 10; i >= 7; i--)
                aiBits.push_back(static_cast<int>((uiCode >> i) & 1));
        vGamma(oItem.m_uiValue - 1);
    }
    tdBytes auc;
    size_t uiGroups = (aiBits.size() + 7) / 8;
    aaucData.resize(uiGroups);
    for (size_t g = 0; g < uiGroups; g++)
    {
        unsigned int uiFlags = 0;
        for (size_t i = 8 * g; i < 8 * g + 8; i++)
            uiFlags = uiFlags * 2 + static_cast<unsigned int>(i < aiBits.size() ? aiBits[i] : 0);
        auc.push_back(static_cast<unsigned char>(uiFlags));
        auc.insert(auc.end(), aaucData[g].begin(), aaucData[g].end());
    }
    return auc;
}

// Greedy parse by trying every distance 1 .. 2047 from the nearest out; a longer
// match replaces the best, so the nearest of equally long matches stays.
std::vector<tdItem> aoReferenceParse(const tdBytes& aucInput)
{
    std::vector<tdItem> aoItems;
    size_t p = 0;
    while (p < aucInput.size())
    {
        size_t uiBest = 1, uiBestDistance = 0;
        for (size_t d = 1; d <= 2047 && d <= p; d++)
        {
            size_t l = 0;
            while (p + l < aucInput.size() && aucInput[p + l - d] == aucInput[p + l])
                l++;
            if (l > uiBest)
            {
                uiBest = l;
                uiBestDistance = d;
            }
        }
        if (uiBest < 2)
        {
            aoItems.push_back(oLit(aucInput[p]));
            p++;
        }
        else
        {
            aoItems.push_back(
                oMatch(static_cast<unsigned int>(uiBestDistance), static_cast<unsigned int>(uiBest)));
            p += uiBest;
        }
    }
    return aoItems;
}

std::vector<tdItem> aoLiterals(const tdBytes& auc)
{
    std::vector<tdItem> ao;
    for (unsigned char uc : auc)
        ao.push_back(oLit(uc));
    return ao;
}

// Bytes in which no two-byte sequence occurs twice within 16384 positions, so the
// compressor finds no match: x0 = 0, x(i) = x(i-1) + s, the odd step s = 1, 3, ...
// 127 taking turns every 256 bytes. Within one step 256 consecutive values are
// distinct, and different steps make different pairs.
tdBytes aucNoRepeats(size_t uiLength)
{
    tdBytes auc(uiLength);
    unsigned int uiValue = 0;
    for (size_t i = 0; i < uiLength; i++)
    {
        if (i > 0) uiValue += 2 * static_cast<unsigned int>(((i - 1) / 256) % 64) + 1;
        auc[i] = static_cast<unsigned char>(uiValue);
    }
    return auc;
}

tdBytes aucConcat(const tdBytes& auc1, const tdBytes& auc2)
{
    tdBytes auc = auc1;
    auc.insert(auc.end(), auc2.begin(), auc2.end());
    return auc;
}

tdBytes aucSlice(const tdBytes& auc, size_t uiFrom, size_t uiCount)
{
    return tdBytes(auc.begin() + static_cast<long>(uiFrom),
                   auc.begin() + static_cast<long>(uiFrom + uiCount));
}

tdBytes aucRandom(size_t uiLength, uint32_t uiSeed, unsigned int uiAlphabet = 256)
{
    tdTestRandom oRandom{uiSeed};
    tdBytes auc(uiLength);
    for (auto& uc : auc)
        uc = static_cast<unsigned char>(oRandom.uiNext(uiAlphabet));
    return auc;
}

// ---------------------------------------------------------------------------
// Worked examples, byte for byte.

struct tdExample
{
    const char* m_pszName;
    tdBytes m_aucInput;
    const char* m_pszPacked;
};

void PrintTo(const tdExample& o, std::ostream* poStream)
{
    *poStream << o.m_pszName;
}

class KRUCompressorExample : public ::testing::TestWithParam<tdExample>
{
};

TEST_P(KRUCompressorExample, CompressesToTheWorkedBytes)
{
    const tdExample& oExample = GetParam();
    tdBytes aucPacked = aucCompress(oExample.m_aucInput);
    EXPECT_EQ(aucPacked, aucFromHex(oExample.m_pszPacked));
    tdBytes aucBack;
    ASSERT_TRUE(bDecompress(aucPacked, &aucBack));
    EXPECT_EQ(aucBack, oExample.m_aucInput);
}

tdBytes aucText(const char* psz)
{
    return tdBytes(psz, psz + std::char_traits<char>::length(psz));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Worked, KRUCompressorExample,
    ::testing::Values(
        // bits 0 (literal) 1 (end) 111111 | 11111111 | 11 0 00000 | 00000000 | 000 + fill
        tdExample{"SingleByte",   tdBytes{0x41},            "7F 41 00  FF  C0  00  00"},
        // literal 41, match offset 1 length 99 (n = 98: 111111 0 100010), end
        tdExample{"Run100",       tdBytes(100, 0x41),       "7F 41 00  45 00  FF  FF  00  00  00"},
        // literals a b c, match offset 3 length 9 (n = 8: 111 0 000), end
        tdExample{"ABCx4",        aucText("abcabcabcabc"),  "1E 61 62 63 02  1F 00  FF  F0  00  00"},
        // end marker alone: 1 (data 00) 1111111 | 11111111 | 1 0 000000 | 00000000 | 00 + fill
        tdExample{"Empty",        tdBytes(),                "FF 00  FF  80  00  00"}),
    [](const ::testing::TestParamInfo<tdExample>& oInfo) { return std::string(oInfo.param.m_pszName); });
// clang-format on

// ---------------------------------------------------------------------------
// Hand-made inputs at the window and code-width boundaries, with the items each
// must compress to (laid out by aucLayout). U(n) is aucNoRepeats(n): all literals.

struct tdItemCase
{
    const char* m_pszName;
    tdBytes m_aucInput;
    std::vector<tdItem> m_aoItems;
};

void PrintTo(const tdItemCase& o, std::ostream* poStream)
{
    *poStream << o.m_pszName;
}

class KRUCompressorItems : public ::testing::TestWithParam<tdItemCase>
{
};

TEST_P(KRUCompressorItems, CompressesToTheExpectedItems)
{
    const tdItemCase& oCase = GetParam();
    tdBytes aucPacked = aucCompress(oCase.m_aucInput);
    EXPECT_EQ(aucPacked, aucLayout(oCase.m_aoItems));
    tdBytes aucBack;
    ASSERT_TRUE(bDecompress(aucPacked, &aucBack));
    EXPECT_EQ(aucBack, oCase.m_aucInput);
}

std::vector<tdItem> aoPlus(std::vector<tdItem> ao, const std::vector<tdItem>& aoMore)
{
    ao.insert(ao.end(), aoMore.begin(), aoMore.end());
    return ao;
}

// A byte then a run: literal and a match at offset 1 of the run's length, so the
// Elias-gamma code of n = length - 1 is exercised at its width steps.
tdItemCase oRunCase(const char* pszName, unsigned int uiMatchLength)
{
    return tdItemCase{pszName, tdBytes(uiMatchLength + 1, 0x5A), {oLit(0x5A), oMatch(1, uiMatchLength)}};
}

const tdBytes g_aucU128 = aucNoRepeats(128);
const tdBytes g_aucU129 = aucNoRepeats(129);
const tdBytes g_aucU2047 = aucNoRepeats(2047);
const tdBytes g_aucU2048 = aucNoRepeats(2048);

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Boundaries, KRUCompressorItems,
    ::testing::Values(
        // offset 128: o - 1 = 127 fits the one-byte form: data 7F
        tdItemCase{"Offset128", aucConcat(g_aucU128, aucSlice(g_aucU128, 0, 4)),
                   aoPlus(aoLiterals(g_aucU128), {oMatch(128, 4)})},
        // offset 129: o - 1 = 128: data 80, then flag bits 0001
        tdItemCase{"Offset129", aucConcat(g_aucU129, aucSlice(g_aucU129, 0, 4)),
                   aoPlus(aoLiterals(g_aucU129), {oMatch(129, 4)})},
        // offset 2047, the farthest: o - 1 = 2046: data FE, flag bits 1111
        tdItemCase{"Offset2047", aucConcat(g_aucU2047, aucSlice(g_aucU2047, 0, 10)),
                   aoPlus(aoLiterals(g_aucU2047), {oMatch(2047, 10)})},
        // the copy lies 2048 back, just out of the window: all literals
        tdItemCase{"Distance2048", aucConcat(g_aucU2048, aucSlice(g_aucU2048, 0, 10)),
                   aoLiterals(aucConcat(g_aucU2048, aucSlice(g_aucU2048, 0, 10)))},
        // after the window has slid: the copy of U[1..10] lies 2047 back
        tdItemCase{"SlidWindow2047", aucConcat(g_aucU2048, aucSlice(g_aucU2048, 1, 10)),
                   aoPlus(aoLiterals(g_aucU2048), {oMatch(2047, 10)})},
        // equally long matches: the nearest wins
        tdItemCase{"TieNearest", aucText("abXabYab"),
                   {oLit('a'), oLit('b'), oLit('X'), oMatch(3, 2), oLit('Y'), oMatch(3, 2)}},
        // the longest wins over a nearer shorter one
        tdItemCase{"Longest", aucText("abcXabYabc"),
                   {oLit('a'), oLit('b'), oLit('c'), oLit('X'), oMatch(4, 2), oLit('Y'), oMatch(7, 3)}},
        // eight literals fill one flag byte: 00 and eight data bytes, then the end
        tdItemCase{"EightLiterals", aucText("01234567"), aoLiterals(aucText("01234567"))},
        // Elias-gamma widths: n = 1 "0", 2 "100", 3 "101", 4 "11000", 7, 8, 255, 256
        oRunCase("Gamma1", 2),     oRunCase("Gamma2", 3),     oRunCase("Gamma3", 4),
        oRunCase("Gamma4", 5),     oRunCase("Gamma7", 8),     oRunCase("Gamma8", 9),
        oRunCase("Gamma255", 256), oRunCase("Gamma256", 257),
        // a whole default block of one byte: n = 16382
        oRunCase("Gamma16382", 16383)),
    [](const ::testing::TestParamInfo<tdItemCase>& oInfo) { return std::string(oInfo.param.m_pszName); });
// clang-format on

// ---------------------------------------------------------------------------
// Sizes of incompressible blocks: every byte a literal, b + 1 data bytes and
// ceil((b + 34) / 8) flag bytes.

TEST(KRUCompressorSize, AllLiteralBlocksTakeTheWorkedSize)
{
    // 16385 data bytes and 2053 flag bytes (16418 bits, the last byte zero-filled)
    EXPECT_EQ(aucCompress(aucNoRepeats(16384)).size(), 18438u);
    // the largest accepted block still fits the 16-bit compressed length
    tdBytes aucLargest = aucCompress(aucNoRepeats(58000));
    EXPECT_EQ(aucLargest.size(), 58001u + (58000u + 34u + 7u) / 8u);
    EXPECT_LE(aucLargest.size(), 65535u);
}

TEST(KRUCompressorSize, RandomBlocksNeverExceedTheLiteralBound)
{
    for (size_t uiLength : {1u, 100u, 5000u, 58000u})
    {
        tdBytes aucPacked = aucCompress(aucRandom(uiLength, static_cast<uint32_t>(uiLength)));
        EXPECT_LE(aucPacked.size(), uiLength + 1 + (uiLength + 34 + 7) / 8) << uiLength;
    }
}

// ---------------------------------------------------------------------------
// Round trips and the brute-force parse, on random and structured blocks.

struct tdRoundTrip
{
    std::string m_sName;
    tdBytes m_aucInput;
};

std::vector<tdRoundTrip> aoRoundTrips()
{
    std::vector<tdRoundTrip> ao;
    for (size_t uiLength :
         {1u, 2u, 3u, 7u, 8u, 9u, 127u, 128u, 129u, 2046u, 2047u, 2048u, 2049u, 4096u, 20000u})
        ao.push_back(
            {"Random" + std::to_string(uiLength), aucRandom(uiLength, static_cast<uint32_t>(uiLength))});
    for (unsigned int uiAlphabet : {2u, 4u, 16u})
        ao.push_back({"Alphabet" + std::to_string(uiAlphabet), aucRandom(20000, uiAlphabet, uiAlphabet)});
    ao.push_back({"Zeros20000", tdBytes(20000, 0)});
    ao.push_back({"NoRepeats20000", aucNoRepeats(20000)});
    // runs of random lengths 1 .. 300 of random bytes
    {
        tdTestRandom oRandom{7};
        tdBytes auc;
        while (auc.size() < 20000)
            auc.insert(auc.end(), 1 + oRandom.uiNext(300), static_cast<unsigned char>(oRandom.uiNext(256)));
        ao.push_back({"Runs", auc});
    }
    // a random stretch repeated at distances around the window's reach
    for (size_t uiDistance : {2045u, 2046u, 2047u, 2048u, 2049u, 2050u})
    {
        tdBytes auc = aucRandom(uiDistance, 100 + static_cast<uint32_t>(uiDistance));
        for (int i = 0; i < 3; i++)
            auc = aucConcat(auc, aucSlice(auc, auc.size() - uiDistance, uiDistance));
        // and with changed bytes here and there, so matches end and restart
        for (size_t i = uiDistance + 5; i < auc.size(); i += 333)
            auc[i] = static_cast<unsigned char>(auc[i] + 1);
        ao.push_back({"RepeatAt" + std::to_string(uiDistance), auc});
    }
    // a period-3 pattern, a ramp and a mix of text-like repeats
    {
        tdBytes auc;
        for (size_t i = 0; i < 9000; i++)
            auc.push_back(static_cast<unsigned char>("xyz"[i % 3]));
        ao.push_back({"Period3", auc});
        tdBytes aucRamp;
        for (size_t i = 0; i < 12000; i++)
            aucRamp.push_back(static_cast<unsigned char>(i / 7));
        ao.push_back({"Ramp", aucRamp});
        tdTestRandom oRandom{11};
        tdBytes aucWords;
        const char* apszWords[] = {"the ", "video ", "chip ", "palette ", "MSX ", "screen ", "\n"};
        while (aucWords.size() < 15000)
        {
            const char* psz = apszWords[oRandom.uiNext(7)];
            aucWords.insert(aucWords.end(), psz, psz + std::char_traits<char>::length(psz));
        }
        ao.push_back({"Words", aucWords});
    }
    return ao;
}

void PrintTo(const tdRoundTrip& o, std::ostream* poStream)
{
    *poStream << o.m_sName;
}

class KRUCompressorRoundTrip : public ::testing::TestWithParam<tdRoundTrip>
{
};

TEST_P(KRUCompressorRoundTrip, DecodesBackAndMatchesTheBruteForceParse)
{
    const tdBytes& aucInput = GetParam().m_aucInput;
    tdBytes aucPacked = aucCompress(aucInput);
    tdBytes aucBack;
    ASSERT_TRUE(bDecompress(aucPacked, &aucBack));
    EXPECT_EQ(aucBack, aucInput);
    EXPECT_EQ(aucPacked, aucLayout(aoReferenceParse(aucInput)));
}

INSTANTIATE_TEST_SUITE_P(Blocks, KRUCompressorRoundTrip, ::testing::ValuesIn(aoRoundTrips()),
                         [](const ::testing::TestParamInfo<tdRoundTrip>& oInfo)
                         { return oInfo.param.m_sName; });

TEST(KRUCompressorState, TablesAreResetForEveryBlock)
{
    // The second block repeats the first: with the chains reset, its bytes are
    // literals again and it compresses exactly as the first did.
    tdBytes aucBlock = aucRandom(3000, 5);
    vEncode_Init(2048);
    tdByteArray* poFirst = poEncode_Encode(aucBlock.data(), static_cast<unsigned int>(aucBlock.size()));
    tdByteArray* poSecond = poEncode_Encode(aucBlock.data(), static_cast<unsigned int>(aucBlock.size()));
    vEncode_Release();
    EXPECT_EQ(aucFromArray(poFirst), aucFromArray(poSecond));
    delete poFirst;
    delete poSecond;
}

// ---------------------------------------------------------------------------
// Records.

// One parsed record: class, block lengths and the joined, decompressed stream.
struct tdParsedRecord
{
    unsigned int m_uiSize = 0;
    int m_iClass = -1;
    std::vector<unsigned int> m_auiBlocks;
    tdBytes m_aucStream;
};

unsigned int uiLittleEndian(const tdBytes& auc, size_t uiAt, int iBytes)
{
    unsigned int ui = 0;
    for (int i = iBytes - 1; i >= 0; i--)
        ui = ui * 256 + auc[uiAt + static_cast<size_t>(i)];
    return ui;
}

// Parses the record at *puiAt and moves *puiAt past it; false on any fault. The
// size field must equal the bytes from offset 6 to the end of the blocks.
bool bParseRecord(const tdBytes& auc, size_t* puiAt, tdParsedRecord* poRecord)
{
    size_t uiAt = *puiAt;
    if (auc.size() < uiAt + 11) return false;
    if (std::string(auc.begin() + static_cast<long>(uiAt), auc.begin() + static_cast<long>(uiAt) + 6) !=
        "MSXKRU")
        return false;
    poRecord->m_uiSize = uiLittleEndian(auc, uiAt + 6, 4);
    poRecord->m_iClass = auc[uiAt + 10];
    size_t uiPos = uiAt + 11;
    for (;;)
    {
        if (auc.size() < uiPos + 2) return false;
        unsigned int uiLength = uiLittleEndian(auc, uiPos, 2);
        uiPos += 2;
        if (uiLength == 0) break;
        if (auc.size() < uiPos + 2) return false;
        unsigned int uiPacked = uiLittleEndian(auc, uiPos, 2);
        uiPos += 2;
        if (auc.size() < uiPos + uiPacked) return false;
        tdBytes aucBlock = aucSlice(auc, uiPos, uiPacked);
        uiPos += uiPacked;
        tdBytes aucOut;
        if (!bDecompress(aucBlock, &aucOut, uiLength) || aucOut.size() != uiLength) return false;
        poRecord->m_auiBlocks.push_back(uiLength);
        poRecord->m_aucStream.insert(poRecord->m_aucStream.end(), aucOut.begin(), aucOut.end());
    }
    if (poRecord->m_uiSize != uiPos - uiAt - 6) return false;
    *puiAt = uiPos;
    return true;
}

tdBytes aucBuildRecord(int iClass, const tdBytes& aucStream, int iBlockSize)
{
    tdByteArray oRecord;
    vBuildKRURecord(iClass, aucStream.empty() ? nullptr : aucStream.data(),
                    static_cast<int>(aucStream.size()), iBlockSize, &oRecord);
    return aucFromArray(&oRecord);
}

TEST(KRURecord, TwentyThousandBytesMakeTwoDefaultBlocks)
{
    tdBytes aucStream = aucRandom(20000, 3, 16);
    tdBytes aucRecord = aucBuildRecord(1, aucStream, 16384);
    ASSERT_GE(aucRecord.size(), 11u);
    EXPECT_EQ(aucSlice(aucRecord, 0, 6), aucText("MSXKRU"));
    EXPECT_EQ(uiLittleEndian(aucRecord, 6, 4), aucRecord.size() - 6);
    EXPECT_EQ(aucRecord[10], 1);
    EXPECT_EQ(uiLittleEndian(aucRecord, 11, 2), 16384u);
    EXPECT_EQ(uiLittleEndian(aucRecord, aucRecord.size() - 2, 2), 0u);
    size_t uiAt = 0;
    tdParsedRecord oParsed;
    ASSERT_TRUE(bParseRecord(aucRecord, &uiAt, &oParsed));
    EXPECT_EQ(uiAt, aucRecord.size());
    EXPECT_EQ(oParsed.m_auiBlocks, (std::vector<unsigned int>{16384, 3616}));
    EXPECT_EQ(oParsed.m_aucStream, aucStream);
}

TEST(KRURecord, EmptyStreamIsHeaderAndEndOnly)
{
    // "MSXKRU", size 7 (4 size + 1 class + 2 end), class 2, end 00 00
    EXPECT_EQ(aucBuildRecord(2, tdBytes(), 16384), aucFromHex("4D 53 58 4B 52 55  07 00 00 00  02  00 00"));
}

class KRURecordBlockSize : public ::testing::TestWithParam<int>
{
};

TEST_P(KRURecordBlockSize, AcceptedSizesSplitTheStreamAndRoundTrip)
{
    int iBlockSize = GetParam();
    tdBytes aucStream = aucConcat(aucNoRepeats(30000), aucRandom(30000, 9));
    if (iBlockSize < 100) aucStream.resize(1000);
    tdByteArray oRecord;
    ASSERT_TRUE(
        bBuildKRURecord(0, aucStream.data(), static_cast<int>(aucStream.size()), iBlockSize, &oRecord));
    tdBytes aucRecord = aucFromArray(&oRecord);
    size_t uiAt = 0;
    tdParsedRecord oParsed;
    ASSERT_TRUE(bParseRecord(aucRecord, &uiAt, &oParsed));
    EXPECT_EQ(oParsed.m_aucStream, aucStream);
    std::vector<unsigned int> auiBlocks(aucStream.size() / static_cast<size_t>(iBlockSize),
                                        static_cast<unsigned int>(iBlockSize));
    if (aucStream.size() % static_cast<size_t>(iBlockSize))
        auiBlocks.push_back(static_cast<unsigned int>(aucStream.size() % static_cast<size_t>(iBlockSize)));
    EXPECT_EQ(oParsed.m_auiBlocks, auiBlocks);
}

INSTANTIATE_TEST_SUITE_P(Accepted, KRURecordBlockSize, ::testing::Values(1, 2, 7, 2048, 16384, 58000));

class KRURecordRefusedBlockSize : public ::testing::TestWithParam<int>
{
};

TEST_P(KRURecordRefusedBlockSize, WritesNothingAndNamesTheSetting)
{
    tdTempFolder oFolder;
    std::string sName = oFolder.sFile("refused.kru");
    FILE* poFile = fopen(sName.c_str(), "wb");
    ASSERT_NE(poFile, nullptr);
    tdByteArray oStream;
    oStream.vAppend(255);
    bool bWritten = true;
    tdCaptured oOutput = oCaptureOutput([&] { bWritten = bWriteKRURecord(poFile, 1, &oStream, GetParam()); });
    fclose(poFile);
    EXPECT_FALSE(bWritten);
    EXPECT_NE(oOutput.m_sErr.find("KRUBlockSize"), std::string::npos) << oOutput.m_sErr;
    EXPECT_TRUE(aucReadFile(sName).empty());
    // no record is built either
    EXPECT_TRUE(aucBuildRecord(1, tdBytes{255}, GetParam()).empty());
    tdByteArray oRecord;
    bool bBuilt = true;
    tdCaptured oBuild = oCaptureOutput(
        [&] { bBuilt = bBuildKRURecord(1, oStream.m_pucData, oStream.m_iSize, GetParam(), &oRecord); });
    EXPECT_FALSE(bBuilt);
    EXPECT_EQ(oRecord.m_iSize, 0);
    EXPECT_NE(oBuild.m_sErr.find("KRUBlockSize"), std::string::npos) << oBuild.m_sErr;
}

INSTANTIATE_TEST_SUITE_P(Refused, KRURecordRefusedBlockSize,
                         ::testing::Values(0, -1, -16384, 58001, 65536, INT_MAX, INT_MIN));

TEST(KRURecord, AppendedRecordsLeaveEarlierOnesIntact)
{
    tdTempFolder oFolder;
    std::string sName = oFolder.sFile("two.kru");
    tdByteArray oFirst, oSecond;
    tdBytes aucFirst = aucRandom(20000, 21, 8), aucSecond = aucRandom(500, 22);
    oFirst.vAppend(aucFirst.data(), static_cast<int>(aucFirst.size()));
    oSecond.vAppend(aucSecond.data(), static_cast<int>(aucSecond.size()));

    FILE* poFile = fopen(sName.c_str(), "wb");
    ASSERT_NE(poFile, nullptr);
    EXPECT_TRUE(bWriteKRURecord(poFile, 1, &oFirst, 16384));
    fclose(poFile);
    tdBytes aucAfterFirst = aucReadFile(sName);
    // as file dispatch appends: open for update, go to the end
    poFile = fopen(sName.c_str(), "r+b");
    ASSERT_NE(poFile, nullptr);
    fseek(poFile, 0, SEEK_END);
    EXPECT_TRUE(bWriteKRURecord(poFile, 2, &oSecond, 16384));
    fclose(poFile);

    tdBytes aucFile = aucReadFile(sName);
    ASSERT_GT(aucFile.size(), aucAfterFirst.size());
    EXPECT_EQ(aucSlice(aucFile, 0, aucAfterFirst.size()), aucAfterFirst);
    size_t uiAt = 0;
    tdParsedRecord oParsedFirst, oParsedSecond;
    ASSERT_TRUE(bParseRecord(aucFile, &uiAt, &oParsedFirst));
    EXPECT_EQ(uiAt, aucAfterFirst.size());
    ASSERT_TRUE(bParseRecord(aucFile, &uiAt, &oParsedSecond));
    EXPECT_EQ(uiAt, aucFile.size());
    EXPECT_EQ(oParsedFirst.m_iClass, 1);
    EXPECT_EQ(oParsedFirst.m_aucStream, aucFirst);
    EXPECT_EQ(oParsedSecond.m_iClass, 2);
    EXPECT_EQ(oParsedSecond.m_aucStream, aucSecond);
}

// ---------------------------------------------------------------------------
// Command streams.

// The commands of a stream, taken apart by command byte.
struct tdParsedStream
{
    bool m_bPalette = false;
    tdBytes m_aucPalette;   // the palette command whole
    tdBytes m_aucRegisters; // the register command whole
    std::vector<unsigned int> m_auiVRAMAddresses;
    std::vector<tdBytes> m_aaucVRAM;
    std::vector<unsigned char> m_aucOrder; // command bytes in order, 255 included
};

bool bParseStream(const tdBytes& auc, tdParsedStream* po)
{
    size_t p = 0;
    while (p < auc.size())
    {
        unsigned char ucCommand = auc[p];
        po->m_aucOrder.push_back(ucCommand);
        if (ucCommand == 255) return p + 1 == auc.size();
        if (ucCommand == 1)
        {
            if (p + 3 > auc.size()) return false;
            size_t uiLength = 3 + 2 * static_cast<size_t>(auc[p + 2]);
            if (p + uiLength > auc.size()) return false;
            po->m_bPalette = true;
            po->m_aucPalette = aucSlice(auc, p, uiLength);
            p += uiLength;
        }
        else if (ucCommand == 0)
        {
            if (p + 2 > auc.size()) return false;
            size_t uiLength = 2 + 3 * static_cast<size_t>(auc[p + 1]);
            if (p + uiLength > auc.size()) return false;
            po->m_aucRegisters = aucSlice(auc, p, uiLength);
            p += uiLength;
        }
        else if (ucCommand == 2)
        {
            if (p + 7 > auc.size()) return false;
            unsigned int uiLength = uiLittleEndian(auc, p + 4, 3);
            if (p + 7 + uiLength > auc.size()) return false;
            po->m_auiVRAMAddresses.push_back(uiLittleEndian(auc, p + 1, 3));
            po->m_aaucVRAM.push_back(aucSlice(auc, p + 7, uiLength));
            p += 7 + uiLength;
        }
        else
            return false;
    }
    return false;
}

// The palette command from the colours: words B + 16 R + 256 G of 3-bit levels
// (7c + 127) / 255, low byte first.
tdBytes aucPaletteCommand(const Color* poColors, int iCount)
{
    tdBytes auc{1, 0, static_cast<unsigned char>(iCount)};
    for (int i = 0; i < iCount; i++)
    {
        int iR = (7 * poColors[i].r + 127) / 255, iG = (7 * poColors[i].g + 127) / 255;
        int iB = (7 * poColors[i].b + 127) / 255;
        auc.push_back(static_cast<unsigned char>(16 * iR + iB));
        auc.push_back(static_cast<unsigned char>(iG));
    }
    return auc;
}

tdBytes aucPage(size_t uiLength, uint32_t uiSeed)
{
    return aucRandom(uiLength, uiSeed);
}

class KRUCommandStream : public ::testing::Test
{
protected:
    tdSettings m_oSettings;
    // distinct, unsorted colours, so that a copy in another order would show
    Color m_aoColors[16];
    tdByteArray m_oPage0, m_oPage1;
    tdBytes m_aucPage0, m_aucPage1;

    void SetUp() override
    {
        vGetDefaultSettings(&m_oSettings);
        m_oSettings.ConversionType = ConversionType_KRU;
        for (int i = 0; i < 16; i++)
            m_aoColors[i] =
                Color{static_cast<unsigned char>(255 - 16 * i), static_cast<unsigned char>(37 * i % 256),
                      static_cast<unsigned char>(73 * i % 256), 0};
        m_aucPage0 = aucPage(0x6A00, 1);
        m_aucPage1 = aucPage(0x6A00, 2);
        m_oPage0.vAppend(m_aucPage0.data(), static_cast<int>(m_aucPage0.size()));
        m_oPage1.vAppend(m_aucPage1.data(), static_cast<int>(m_aucPage1.size()));
    }

    tdBytes aucBuild(int eMode, bool bInterlaced, const Palette* poPalette, bool bSecondPage)
    {
        m_oSettings.ScreenMode = static_cast<tdScreenMode>(eMode);
        m_oSettings.InterlacedMode = bInterlaced ? 1 : 0;
        tdByteArray oStream;
        vBuildKRUCommandStream(&m_oSettings, poPalette, &m_oPage0, bSecondPage ? &m_oPage1 : nullptr,
                               &oStream);
        return aucFromArray(&oStream);
    }
};

TEST_F(KRUCommandStream, Screen5WorkedRegisterBytes)
{
    Palette oPalette(m_aoColors);
    m_oSettings.Bordercolor = 0;
    tdParsedStream oPlain;
    ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen5, false, &oPalette, false), &oPlain));
    EXPECT_EQ(oPlain.m_aucRegisters, aucFromHex("00 08  00 06 FF  01 00 98  03 80 FF  04 00 FF  08 22 22"
                                                "       02 1F FF  07 00 0F  09 80 8C"));
    EXPECT_EQ(oPlain.m_aucOrder, (tdBytes{1, 0, 2, 255}));
    EXPECT_EQ(oPlain.m_auiVRAMAddresses, (std::vector<unsigned int>{0}));
    EXPECT_EQ(oPlain.m_aaucVRAM[0], m_aucPage0);

    tdParsedStream oInterlaced;
    ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen5, true, &oPalette, true), &oInterlaced));
    EXPECT_EQ(oInterlaced.m_aucRegisters, aucFromHex("00 08  00 06 FF  01 00 98  03 80 FF  04 00 FF  08 22 22"
                                                     "       02 3F FF  07 00 0F  09 8C 8C"));
    EXPECT_EQ(oInterlaced.m_aucOrder, (tdBytes{1, 0, 2, 2, 255}));
    EXPECT_EQ(oInterlaced.m_auiVRAMAddresses, (std::vector<unsigned int>{0, 0x8000}));
    EXPECT_EQ(oInterlaced.m_aaucVRAM[1], m_aucPage1);
}

TEST_F(KRUCommandStream, Screen5StreamBytesFromTheStart)
{
    // palette 01 00 10 + 32 bytes, registers, then 02 000000 length 006A00 and the page
    Palette oPalette(m_aoColors);
    tdBytes aucStream = aucBuild(ScreenMode_Screen5, false, &oPalette, false);
    tdBytes aucExpected = aucPaletteCommand(m_aoColors, 16);
    aucExpected = aucConcat(aucExpected, aucFromHex("00 08  00 06 FF  01 00 98  03 80 FF  04 00 FF  08 22 22"
                                                    "       02 1F FF  07 00 0F  09 80 8C"
                                                    "02  00 00 00  00 6A 00"));
    aucExpected = aucConcat(aucExpected, m_aucPage0);
    aucExpected.push_back(0xFF);
    EXPECT_EQ(aucStream, aucExpected);
}

TEST_F(KRUCommandStream, BorderColour0x25)
{
    m_oSettings.Bordercolor = 0x25;
    tdParsedStream oScreen8, oScreen5;
    ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen8, false, nullptr, false), &oScreen8));
    Palette oPalette(m_aoColors);
    ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen5, false, &oPalette, false), &oScreen5));
    // the border triple is the second last (Screen 5, 8: before (9, R9, 8C))
    ASSERT_GE(oScreen8.m_aucRegisters.size(), 6u);
    EXPECT_EQ(aucSlice(oScreen8.m_aucRegisters, oScreen8.m_aucRegisters.size() - 6, 3),
              aucFromHex("07 25 FF"));
    EXPECT_EQ(aucSlice(oScreen5.m_aucRegisters, oScreen5.m_aucRegisters.size() - 6, 3),
              aucFromHex("07 05 0F"));
}

TEST_F(KRUCommandStream, Screen6WritesFourEntriesWhateverTheCount)
{
    Palette oSixteen(m_aoColors);
    Palette oFour(m_aoColors);
    oFour.vResize(4);
    for (const Palette* po : {&oSixteen, &oFour})
    {
        tdParsedStream oParsed;
        ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen6, false, po, false), &oParsed));
        EXPECT_EQ(oParsed.m_aucPalette, aucPaletteCommand(m_aoColors, 4));
    }
    // the caller's palette is left as it was
    EXPECT_EQ(oSixteen.m_uiColorCount, 16u);
}

TEST_F(KRUCommandStream, Screen10WritesSixteenEntriesFromAShorterPalette)
{
    Palette oTwo(m_aoColors);
    oTwo.vResize(2);
    tdParsedStream oParsed;
    ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen10, false, &oTwo, false), &oParsed));
    // the resize fills slots 2..15 with copies of colour 1
    Color aoExpected[16];
    for (int i = 0; i < 16; i++)
        aoExpected[i] = m_aoColors[i < 2 ? i : 1];
    EXPECT_EQ(oParsed.m_aucPalette, aucPaletteCommand(aoExpected, 16));
}

TEST_F(KRUCommandStream, SecondPageOnlyWhenInterlaced)
{
    Palette oPalette(m_aoColors);
    tdParsedStream oParsed;
    ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen5, false, &oPalette, true), &oParsed));
    EXPECT_EQ(oParsed.m_auiVRAMAddresses, (std::vector<unsigned int>{0}));
    // a conversion type that is never interlaced
    m_oSettings.ConversionType = ConversionType_PNG;
    tdParsedStream oPNG;
    ASSERT_TRUE(bParseStream(aucBuild(ScreenMode_Screen5, true, &oPalette, true), &oPNG));
    EXPECT_EQ(oPNG.m_auiVRAMAddresses, (std::vector<unsigned int>{0}));
}

TEST_F(KRUCommandStream, ScreenModeOutOfRangeGivesTheEndAlone)
{
    Palette oPalette(m_aoColors);
    for (int eMode : {-1, 8, 100})
    {
        EXPECT_EQ(aucBuild(eMode, false, &oPalette, true), (tdBytes{255})) << eMode;
        EXPECT_EQ(iKRUScreenClass(eMode), 0) << eMode;
    }
}

// Per screen, from the record format: class, R2 plain and interlaced, palette
// entries, full-byte border, second page address (0: none), the register table of
// the video chip model and its length in bytes.
struct tdScreenRow
{
    int m_eMode;
    int m_iClass;
    int m_iR2;
    int m_iR2Interlaced;
    int m_iPaletteEntries;
    bool m_bFullBorder;
    unsigned int m_uiSecondPage;
    const unsigned char* m_pucTable;
    size_t m_uiTableLength;
};

void PrintTo(const tdScreenRow& o, std::ostream* poStream)
{
    *poStream << "screen mode " << o.m_eMode;
}

class KRUCommandStreamScreens : public KRUCommandStream, public ::testing::WithParamInterface<tdScreenRow>
{
};

TEST_P(KRUCommandStreamScreens, LaysOutEveryCommand)
{
    const tdScreenRow& oRow = GetParam();
    EXPECT_EQ(iKRUScreenClass(oRow.m_eMode), oRow.m_iClass);
    Palette oPalette(m_aoColors);
    m_oSettings.Bordercolor = 0xB7;
    for (bool bInterlaced : {false, true})
    {
        SCOPED_TRACE(bInterlaced ? "interlaced" : "plain");
        tdParsedStream oParsed;
        ASSERT_TRUE(bParseStream(aucBuild(oRow.m_eMode, bInterlaced, &oPalette, bInterlaced), &oParsed));
        bool bPaged = bInterlaced && oRow.m_uiSecondPage != 0;

        tdBytes aucOrder;
        if (oRow.m_iPaletteEntries) aucOrder.push_back(1);
        aucOrder.push_back(0);
        aucOrder.push_back(2);
        if (bPaged) aucOrder.push_back(2);
        aucOrder.push_back(255);
        EXPECT_EQ(oParsed.m_aucOrder, aucOrder);
        if (oRow.m_iPaletteEntries)
        {
            EXPECT_EQ(oParsed.m_aucPalette, aucPaletteCommand(m_aoColors, oRow.m_iPaletteEntries));
        }

        tdBytes aucRegisters{
            0, static_cast<unsigned char>(oRow.m_uiTableLength / 3 + 2 + (oRow.m_iClass ? 1 : 0))};
        aucRegisters.insert(aucRegisters.end(), oRow.m_pucTable, oRow.m_pucTable + oRow.m_uiTableLength);
        aucRegisters =
            aucConcat(aucRegisters,
                      {2, static_cast<unsigned char>(bInterlaced ? oRow.m_iR2Interlaced : oRow.m_iR2), 0xFF});
        aucRegisters =
            aucConcat(aucRegisters, oRow.m_bFullBorder ? tdBytes{7, 0xB7, 0xFF} : tdBytes{7, 0x07, 0x0F});
        if (oRow.m_iClass)
            aucRegisters =
                aucConcat(aucRegisters, {9, static_cast<unsigned char>(bInterlaced ? 0x8C : 0x80), 0x8C});
        EXPECT_EQ(oParsed.m_aucRegisters, aucRegisters);

        std::vector<unsigned int> auiAddresses{0};
        if (bPaged) auiAddresses.push_back(oRow.m_uiSecondPage);
        EXPECT_EQ(oParsed.m_auiVRAMAddresses, auiAddresses);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Screens, KRUCommandStreamScreens,
    ::testing::Values(
        //          mode                 class R2  R2 il palette full   page 2   table             bytes
        tdScreenRow{ScreenMode_Screen2,  0,    6,  6,    16,     false, 0,       g_acScreen2Regs,  18},
        tdScreenRow{ScreenMode_Screen3,  0,    2,  2,    16,     false, 0,       g_acScreen3Regs,  18},
        tdScreenRow{ScreenMode_Screen5,  1,    31, 63,   16,     false, 0x8000,  g_acScreen5Regs,  15},
        tdScreenRow{ScreenMode_Screen6,  1,    31, 63,   4,      false, 0x8000,  g_acScreen6Regs,  15},
        tdScreenRow{ScreenMode_Screen7,  1,    31, 63,   16,     false, 0x10000, g_acScreen7Regs,  15},
        tdScreenRow{ScreenMode_Screen8,  1,    31, 63,   0,      true,  0x10000, g_acScreen8Regs,  15},
        tdScreenRow{ScreenMode_Screen10, 2,    31, 63,   16,     false, 0x10000, g_acScreen10Regs, 18},
        tdScreenRow{ScreenMode_Screen12, 2,    31, 63,   0,      true,  0x10000, g_acScreen12Regs, 18}),
    [](const ::testing::TestParamInfo<tdScreenRow>& oInfo) { return std::to_string(oInfo.index); });
// clang-format on

TEST_F(KRUCommandStream, WholeRecordDecodesToTheBuiltStream)
{
    // Screen 7 interlaced: two 54272-byte pages of smooth data with noise
    m_aucPage0.clear();
    m_aucPage1.clear();
    tdTestRandom oRandom{31};
    for (int i = 0; i < 2 * 0xD400; i++)
    {
        int iX = i % 256, iY = (i / 256) % 212;
        unsigned char uc =
            static_cast<unsigned char>(((iX / 16) << 4) | ((iY / 14 + oRandom.uiNext(2)) & 15));
        (i < 0xD400 ? m_aucPage0 : m_aucPage1).push_back(uc);
    }
    m_oPage0.vSetSize(0);
    m_oPage1.vSetSize(0);
    m_oPage0.vAppend(m_aucPage0.data(), static_cast<int>(m_aucPage0.size()));
    m_oPage1.vAppend(m_aucPage1.data(), static_cast<int>(m_aucPage1.size()));
    Palette oPalette(m_aoColors);
    tdBytes aucStream = aucBuild(ScreenMode_Screen7, true, &oPalette, true);
    tdByteArray oStream;
    oStream.vAppend(aucStream.data(), static_cast<int>(aucStream.size()));

    tdTempFolder oFolder;
    std::string sName = oFolder.sFile("pic.kru");
    FILE* poFile = fopen(sName.c_str(), "wb");
    ASSERT_NE(poFile, nullptr);
    EXPECT_TRUE(bWriteKRURecord(poFile, iKRUScreenClass(ScreenMode_Screen7), &oStream, 16384));
    fclose(poFile);
    tdBytes aucFile = aucReadFile(sName);
    size_t uiAt = 0;
    tdParsedRecord oParsed;
    ASSERT_TRUE(bParseRecord(aucFile, &uiAt, &oParsed));
    EXPECT_EQ(uiAt, aucFile.size());
    EXPECT_EQ(oParsed.m_iClass, 1);
    EXPECT_EQ(oParsed.m_aucStream, aucStream);
    EXPECT_LT(aucFile.size(), aucStream.size());
    tdParsedStream oCommands;
    ASSERT_TRUE(bParseStream(oParsed.m_aucStream, &oCommands));
    EXPECT_EQ(oCommands.m_auiVRAMAddresses, (std::vector<unsigned int>{0, 0x10000}));
    EXPECT_EQ(oCommands.m_aaucVRAM[1], m_aucPage1);
}

} // namespace
