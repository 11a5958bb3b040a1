// Damaged and lying picture files: every one must give null from the readers (and a
// message and exit code 1 from the qev tool), without a crash and without an
// allocation of the size a header claims. Meant to run under AddressSanitizer and
// UndefinedBehaviorSanitizer as well.

#include "tests/support/testutil.h"

#include "qev/base/image.h"
#include "qev/base/settings.h"
#include "qev/files/readerwriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <png.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace
{
void vAppend32(std::vector<unsigned char>* paucBytes, uint32_t ui)
{
    paucBytes->insert(paucBytes->end(),
                      {static_cast<unsigned char>(ui >> 24), static_cast<unsigned char>(ui >> 16),
                       static_cast<unsigned char>(ui >> 8), static_cast<unsigned char>(ui)});
}

// One PNG chunk: length, type, data, CRC-32 of type and data.
void vAppendChunk(std::vector<unsigned char>* paucBytes, const char* pszType,
                  const std::vector<unsigned char>& aucData)
{
    vAppend32(paucBytes, static_cast<uint32_t>(aucData.size()));
    std::vector<unsigned char> aucTyped(pszType, pszType + 4);
    aucTyped.insert(aucTyped.end(), aucData.begin(), aucData.end());
    paucBytes->insert(paucBytes->end(), aucTyped.begin(), aucTyped.end());
    vAppend32(paucBytes,
              static_cast<uint32_t>(crc32(0, aucTyped.data(), static_cast<uInt>(aucTyped.size()))));
}

// A PNG whose IHDR (valid CRC) claims the size, followed by a small valid zlib
// stream as IDAT and IEND.
std::vector<unsigned char> aucPNGClaimingSize(uint32_t uiWidth, uint32_t uiHeight, int iBitDepth,
                                              int iColorType)
{
    std::vector<unsigned char> aucBytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> aucHeader;
    vAppend32(&aucHeader, uiWidth);
    vAppend32(&aucHeader, uiHeight);
    aucHeader.insert(aucHeader.end(), {static_cast<unsigned char>(iBitDepth),
                                       static_cast<unsigned char>(iColorType), 0, 0, 0});
    vAppendChunk(&aucBytes, "IHDR", aucHeader);
    std::vector<unsigned char> aucRaw(4096, 0);
    uLongf uiPacked = compressBound(aucRaw.size());
    std::vector<unsigned char> aucPacked(uiPacked);
    compress(aucPacked.data(), &uiPacked, aucRaw.data(), aucRaw.size());
    aucPacked.resize(uiPacked);
    vAppendChunk(&aucBytes, "IDAT", aucPacked);
    vAppendChunk(&aucBytes, "IEND", {});
    return aucBytes;
}

// A JPEG whose frame header (SOF0) is made to claim the size.
std::vector<unsigned char> aucJPEGClaimingSize(std::vector<unsigned char> aucJPEG, unsigned uiWidth,
                                               unsigned uiHeight)
{
    // FF C0, length (2), precision (1), height (2), width (2).
    for (size_t i = 0; i + 9 < aucJPEG.size(); i++)
    {
        if (aucJPEG[i] != 0xFF || aucJPEG[i + 1] != 0xC0) continue;
        aucJPEG[i + 5] = static_cast<unsigned char>(uiHeight >> 8);
        aucJPEG[i + 6] = static_cast<unsigned char>(uiHeight);
        aucJPEG[i + 7] = static_cast<unsigned char>(uiWidth >> 8);
        aucJPEG[i + 8] = static_cast<unsigned char>(uiWidth);
        break;
    }
    return aucJPEG;
}

class HostileInputTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;
    tdSettings m_oSettings;

    void SetUp() override { vGetDefaultSettings(&m_oSettings); }

    // A small valid PNG: 6 x 5 RGB with a pHYs chunk, so that truncation meets
    // every kind of chunk.
    std::vector<unsigned char> aucSmallPNG(bool bInterlacedPalette)
    {
        tdTestPNG oPNG;
        oPNG.m_iWidth = 6;
        oPNG.m_iHeight = 5;
        tdTestRandom oRandom = {3};
        if (bInterlacedPalette)
        {
            oPNG.m_iColorType = PNG_COLOR_TYPE_PALETTE;
            oPNG.m_iBitDepth = 4;
            oPNG.m_bInterlaced = true;
            for (int i = 0; i < 16; i++)
                oPNG.m_aoPalette.push_back(
                    {static_cast<unsigned char>(i * 16), 40, 80, static_cast<unsigned char>(i * 17)});
        }
        oPNG.m_bPhys = true;
        oPNG.m_uiXPerUnit = 2835;
        oPNG.m_uiYPerUnit = 2835;
        const unsigned uiLimit = bInterlacedPalette ? 16 : 256;
        for (int i = 0; i < oPNG.m_iWidth * oPNG.m_iHeight * iPNGChannels(oPNG.m_iColorType); i++)
            oPNG.m_auiSamples.push_back(static_cast<uint16_t>(oRandom.uiNext(uiLimit)));
        std::string sName = m_oFolder.sFile("small.png");
        EXPECT_TRUE(bWriteTestPNG(sName, oPNG));
        std::vector<unsigned char> aucBytes = aucReadFile(sName);
        unlink(sName.c_str());
        return aucBytes;
    }

    // A small valid JPEG: 16 x 16 of soft noise.
    std::vector<unsigned char> aucSmallJPEG(tdTestJPEGKind eKind)
    {
        int iComponents = eKind == TestJPEG_Grey ? 1 : 3;
        std::vector<unsigned char> aucSamples;
        tdTestRandom oRandom = {5};
        for (int i = 0; i < 16 * 16 * iComponents; i++)
            aucSamples.push_back(static_cast<unsigned char>(100 + oRandom.uiNext(50)));
        std::string sName = m_oFolder.sFile("small.jpg");
        EXPECT_TRUE(bWriteTestJPEG(sName, eKind, 16, 16, aucSamples, 75));
        std::vector<unsigned char> aucBytes = aucReadFile(sName);
        unlink(sName.c_str());
        return aucBytes;
    }

    // Writes the bytes under the name and reads them back through the dispatcher,
    // with messages captured. Returns the picture or null.
    Image* poReadBytes(const std::string& sName, const std::vector<unsigned char>& aucBytes,
                       std::string* psErr = nullptr)
    {
        std::string sPath = m_oFolder.sFile(sName);
        EXPECT_TRUE(bWriteFile(sPath, aucBytes));
        Image* poImage = nullptr;
        tdCaptured oCaptured =
            oCaptureOutput([&] { poImage = poReadImageFromFile(sPath.c_str(), &m_oSettings); });
        if (psErr) *psErr = oCaptured.m_sErr;
        return poImage;
    }

    // Every proper prefix of the file gives null; returns the offsets that did not.
    std::vector<size_t> auiTruncationsRead(const std::string& sName,
                                           const std::vector<unsigned char>& aucBytes)
    {
        std::vector<size_t> auiRead;
        std::string sPath = m_oFolder.sFile(sName);
        oCaptureOutput(
            [&]
            {
                for (size_t uiSize = 0; uiSize < aucBytes.size(); uiSize++)
                {
                    bWriteFile(sPath,
                               std::vector<unsigned char>(aucBytes.begin(), aucBytes.begin() + uiSize));
                    std::unique_ptr<Image> poImage(poReadImageFromFile(sPath.c_str(), &m_oSettings));
                    if (poImage) auiRead.push_back(uiSize);
                }
            });
        return auiRead;
    }
};

TEST_F(HostileInputTest, ZeroByteFilesGiveNull)
{
    for (const char* pszName : {"empty.png", "empty.jpg", "empty.jpeg"})
    {
        std::unique_ptr<Image> poImage(poReadBytes(pszName, {}));
        EXPECT_EQ(poImage, nullptr) << pszName;
    }
}

TEST_F(HostileInputTest, PNGTruncatedAtEveryOffsetGivesNull)
{
    for (bool bInterlacedPalette : {false, true})
    {
        std::vector<unsigned char> aucPNG = aucSmallPNG(bInterlacedPalette);
        ASSERT_GT(aucPNG.size(), 60u);
        std::unique_ptr<Image> poWhole(poReadBytes("whole.png", aucPNG));
        ASSERT_NE(poWhole, nullptr);
        EXPECT_EQ(auiTruncationsRead("cut.png", aucPNG), std::vector<size_t>()) << bInterlacedPalette;
    }
}

// A JPEG cut inside its entropy-coded data makes the decoder pad with zeros and warn;
// the reader must not hand out such a half picture.
TEST_F(HostileInputTest, JPEGTruncatedAtEveryOffsetGivesNull)
{
    for (tdTestJPEGKind eKind : {TestJPEG_Grey, TestJPEG_YCbCr, TestJPEG_YCbCrProgressive})
    {
        std::vector<unsigned char> aucJPEG = aucSmallJPEG(eKind);
        ASSERT_GT(aucJPEG.size(), 200u);
        std::unique_ptr<Image> poWhole(poReadBytes("whole.jpg", aucJPEG));
        ASSERT_NE(poWhole, nullptr);
        EXPECT_EQ(auiTruncationsRead("cut.jpg", aucJPEG), std::vector<size_t>()) << eKind;
    }
}

// Random bytes, and random bytes behind a genuine signature so that the parsers get
// past their first check.
TEST_F(HostileInputTest, RandomContentGivesNull)
{
    tdTestRandom oRandom = {12345};
    const std::vector<unsigned char> aucPNGSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const std::vector<unsigned char> aucJPEGStart = {0xFF, 0xD8, 0xFF};
    for (int iRound = 0; iRound < 60; iRound++)
    {
        const bool bPNG = iRound % 2 == 0;
        std::vector<unsigned char> aucBytes;
        if (iRound % 4 >= 2) aucBytes = bPNG ? aucPNGSignature : aucJPEGStart;
        size_t uiSize = oRandom.uiNext(3000);
        for (size_t i = 0; i < uiSize; i++)
            aucBytes.push_back(static_cast<unsigned char>(oRandom.uiNext(256)));
        std::unique_ptr<Image> poImage(poReadBytes(bPNG ? "random.png" : "random.jpg", aucBytes));
        EXPECT_EQ(poImage, nullptr) << "round " << iRound;
    }
}

// Single damaged bytes in valid files may still decode (a damaged ancillary chunk
// is dropped, damaged JPEG data decodes to other pixels), but never past the buffer.
TEST_F(HostileInputTest, DamagedBytesNeverReadOrWriteOutOfBounds)
{
    tdTestRandom oRandom = {777};
    std::vector<unsigned char> aucPNG = aucSmallPNG(true);
    std::vector<unsigned char> aucJPEG = aucSmallJPEG(TestJPEG_YCbCr);
    for (int iRound = 0; iRound < 200; iRound++)
    {
        const bool bPNG = iRound % 2 == 0;
        std::vector<unsigned char> aucBytes = bPNG ? aucPNG : aucJPEG;
        for (int i = 0; i < 3; i++)
            aucBytes[oRandom.uiNext(static_cast<unsigned>(aucBytes.size()))] =
                static_cast<unsigned char>(oRandom.uiNext(256));
        std::unique_ptr<Image> poImage(poReadBytes(bPNG ? "damaged.png" : "damaged.jpg", aucBytes));
        if (!poImage) continue;
        EXPECT_TRUE(bImageSizeValid(poImage->m_iWidth, poImage->m_iHeight, poImage->m_iTexelSize));
        ASSERT_NE(poImage->m_pucTexels, nullptr);
        // Touch every texel so that the sanitizers see the whole buffer.
        unsigned uiSum = 0;
        for (unsigned char c : aucTopDownTexels(poImage.get()))
            uiSum += c;
        (void)uiSum;
    }
}

// Chunk lengths that run past the end of the file, or that are one off.
TEST_F(HostileInputTest, LyingChunkLengthsGiveNull)
{
    const std::vector<unsigned char> aucPNG = aucSmallPNG(false);
    const uint32_t auiPastTheEnd[] = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x00100000u};
    // Chunks follow the 8-byte signature: length (4), type (4), data, CRC (4).
    for (size_t uiChunk = 8; uiChunk + 12 <= aucPNG.size();)
    {
        const uint32_t uiLength = (static_cast<uint32_t>(aucPNG[uiChunk]) << 24) |
                                  (static_cast<uint32_t>(aucPNG[uiChunk + 1]) << 16) |
                                  (static_cast<uint32_t>(aucPNG[uiChunk + 2]) << 8) | aucPNG[uiChunk + 3];
        const std::string sType(aucPNG.begin() + uiChunk + 4, aucPNG.begin() + uiChunk + 8);
        for (uint32_t uiLie : auiPastTheEnd)
        {
            std::vector<unsigned char> aucBytes = aucPNG;
            aucBytes[uiChunk] = static_cast<unsigned char>(uiLie >> 24);
            aucBytes[uiChunk + 1] = static_cast<unsigned char>(uiLie >> 16);
            aucBytes[uiChunk + 2] = static_cast<unsigned char>(uiLie >> 8);
            aucBytes[uiChunk + 3] = static_cast<unsigned char>(uiLie);
            std::unique_ptr<Image> poImage(poReadBytes("lying.png", aucBytes));
            EXPECT_EQ(poImage, nullptr) << sType << " length " << uiLie;
        }
        for (uint32_t uiLie : {uiLength + 1, uiLength - 1, 0u})
        {
            std::vector<unsigned char> aucBytes = aucPNG;
            aucBytes[uiChunk + 3] = static_cast<unsigned char>(uiLie);
            // An ancillary chunk may be dropped with a warning; a picture must still be whole.
            std::unique_ptr<Image> poImage(poReadBytes("lying.png", aucBytes));
            if (poImage)
            {
                EXPECT_EQ(poImage->m_iWidth, 6) << sType;
                EXPECT_EQ(poImage->m_iHeight, 5) << sType;
            }
        }
        uiChunk += 12 + uiLength;
    }
}

struct tdClaimedSize
{
    const char* pszWhat;
    uint32_t uiWidth;
    uint32_t uiHeight;
    int iBitDepth;
    int iColorType;
};

// clang-format off
//  what                                      width   height depth colour type
const tdClaimedSize g_aoClaimedSizes[] = {
    {"100000 x 100000 RGB",                   100000, 100000, 8, PNG_COLOR_TYPE_RGB},
    {"65536 x 65536 RGBA: 2^34 bytes, 0 in 32 bits", 65536, 65536, 8, PNG_COLOR_TYPE_RGB_ALPHA},
    {"32768 x 32768 RGBA 16-bit",              32768,  32768, 16, PNG_COLOR_TYPE_RGB_ALPHA},
    {"one column too wide",                    16385,      1, 8, PNG_COLOR_TYPE_GRAY},
    {"one row too high",                           1,  16385, 8, PNG_COLOR_TYPE_GRAY},
};
// clang-format on

TEST_F(HostileInputTest, PNGClaimingHugeSizeGivesNullWithMessage)
{
    for (const tdClaimedSize& oCase : g_aoClaimedSizes)
    {
        std::string sErr;
        std::unique_ptr<Image> poImage(poReadBytes(
            "huge.png", aucPNGClaimingSize(oCase.uiWidth, oCase.uiHeight, oCase.iBitDepth, oCase.iColorType),
            &sErr));
        EXPECT_EQ(poImage, nullptr) << oCase.pszWhat;
        EXPECT_NE(sErr.find("16384"), std::string::npos) << oCase.pszWhat << ": " << sErr;
    }
}

TEST_F(HostileInputTest, PNGAtTheSizeLimitIsNotRefusedForItsSize)
{
    // 16384 x 1 is allowed: the short IDAT then ends the read with a library error.
    std::string sErr;
    std::unique_ptr<Image> poImage(
        poReadBytes("edge.png", aucPNGClaimingSize(16384, 1, 8, PNG_COLOR_TYPE_GRAY), &sErr));
    EXPECT_EQ(poImage, nullptr);
    EXPECT_EQ(sErr.find("16384 x 16384"), std::string::npos) << sErr;
    EXPECT_NE(sErr.find("Pnglib error"), std::string::npos) << sErr;
}

TEST_F(HostileInputTest, JPEGClaimingHugeSizeGivesNullWithMessage)
{
    std::vector<unsigned char> aucJPEG = aucSmallJPEG(TestJPEG_YCbCr);
    const unsigned aauiSizes[][2] = {{40000, 40000}, {16385, 16}, {16, 16385}};
    for (const auto& auiSize : aauiSizes)
    {
        std::string sErr;
        std::unique_ptr<Image> poImage(
            poReadBytes("huge.jpg", aucJPEGClaimingSize(aucJPEG, auiSize[0], auiSize[1]), &sErr));
        EXPECT_EQ(poImage, nullptr) << auiSize[0] << " x " << auiSize[1];
        EXPECT_NE(sErr.find("16384"), std::string::npos) << sErr;
    }
}

// The tool on the same files: a message, exit code 1 and no output file. Outside
// the sanitizer build the tool runs with a 1 GB address-space limit, so that an
// allocation of a claimed size would fail loudly instead of quietly succeeding.
class HostileToolTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;

    static const char* szLimit()
    {
#if defined(__SANITIZE_ADDRESS__)
        return nullptr;
#else
        return "ulimit -v 1000000";
#endif
    }

    // pszReason, when given, must appear in the messages too.
    void vExpectRefused(const std::string& sName, const std::vector<unsigned char>& aucBytes,
                        const char* pszReason = nullptr)
    {
        ASSERT_TRUE(bWriteFile(m_oFolder.sFile(sName), aucBytes));
        tdRunResult oRun = oRunQEV(m_oFolder, {sName, "-ofout"}, szLimit());
        EXPECT_EQ(oRun.m_iExitCode, 1) << sName << "\n" << oRun.m_sErr;
        EXPECT_NE(oRun.m_sErr.find("qev: cannot read " + sName), std::string::npos) << oRun.m_sErr;
        if (pszReason)
        {
            EXPECT_NE(oRun.m_sErr.find(pszReason), std::string::npos) << oRun.m_sErr;
        }
        EXPECT_EQ(oRun.m_sOut.find("R="), std::string::npos);
        EXPECT_FALSE(bFileExists(m_oFolder.sFile("out.png")));
        unlink(m_oFolder.sFile(sName).c_str());
        EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>()) << "left behind";
    }
};

TEST_F(HostileToolTest, DamagedFilesExitWithOne)
{
    // The limit itself leaves room for an ordinary conversion.
    tdTestPNG oPNG;
    oPNG.m_iWidth = 64;
    oPNG.m_iHeight = 48;
    oPNG.m_auiSamples.assign(64 * 48 * 3, 128);
    ASSERT_TRUE(bWriteTestPNG(m_oFolder.sFile("good.png"), oPNG));
    tdRunResult oGood = oRunQEV(m_oFolder, {"good.png", "-ofgood_out", "-ost7"}, szLimit());
    EXPECT_EQ(oGood.m_iExitCode, 0) << oGood.m_sErr;
    unlink(m_oFolder.sFile("good.png").c_str());
    unlink(m_oFolder.sFile("good_out.png").c_str());

    vExpectRefused("empty.png", {});
    vExpectRefused("empty.jpg", {});
    tdTestRandom oRandom = {99};
    std::vector<unsigned char> aucRandom;
    for (int i = 0; i < 1000; i++)
        aucRandom.push_back(static_cast<unsigned char>(oRandom.uiNext(256)));
    vExpectRefused("random.png", aucRandom);
    vExpectRefused("random.jpg", aucRandom);
    std::vector<unsigned char> aucHuge = aucPNGClaimingSize(100000, 100000, 8, PNG_COLOR_TYPE_RGB);
    vExpectRefused("huge.png", aucHuge, "16384 x 16384");
    vExpectRefused("wrap.png", aucPNGClaimingSize(65536, 65536, 8, PNG_COLOR_TYPE_RGB_ALPHA),
                   "16384 x 16384");
    // Cut in the middle of IDAT.
    vExpectRefused("cut.png", std::vector<unsigned char>(aucHuge.begin(), aucHuge.end() - 20));
}
} // namespace
