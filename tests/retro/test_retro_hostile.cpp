// Hostile input for every retro decoder: a bounded mutation loop over one valid
// file per decoder and layout (bytes changed, cut, inserted and removed), every
// short prefix, and headers that promise more than the file holds. Each decode must either fail and leave no
// picture, or give a whole picture within the limits whose every pixel is a
// 24-bit colour; the sanitizer build stops at any access out of bounds.

#include "tests/support/retro_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace
{
// Decodes and checks what the decoder returns; true when a picture came out.
bool bDecodeChecked(const std::string& sName, const tdBytes& auc)
{
    tdRetroPixels o;
    const bool bOK = bDecodeRetro(sName, auc, &o);
    const bool b24Bits =
        std::all_of(o.m_aiPixels.begin(), o.m_aiPixels.end(), [](int i) { return i >> 24 == 0; });
    EXPECT_TRUE(bOK ? o.m_iWidth <= 16384 && o.m_iHeight <= 16384 && b24Bits
                    : o.m_iWidth == 0 && o.m_iHeight == 0)
        << sName << " " << o.m_iWidth << " x " << o.m_iHeight;
    return bOK;
}

// One valid file per decoder and layout.
std::vector<std::pair<std::string, tdBytes>> aoSeeds(const tdTempFolder& oFolder)
{
    const tdRetroPixels oST = oRunPicture(320, 200, 16, 8, 1), oBits = oRunPicture(576, 720, 2, 2, 2);
    const tdRetroPixels oSmall = oRunPicture(53, 21, 16, 256, 3), oMany = oRunPicture(53, 21, 300, 256, 4);
    tdBytes aucMedium = aucRandom(34 + 32032, 5);
    aucMedium[0] = 0;
    aucMedium[1] = 1;
    const tdBytes aucPI1 = aucNetpbmWrite(oFolder, oST, 7, "ppmtopi1"),
                  aucPI3 = aucNetpbmWrite(oFolder, oBits, 1, "pbmtopi3");
    const tdBytes aucChunky = aucRandom(54 * 21, 6), aucVRAM = aucRandom(0x10000, 7);
    // clang-format off
    return {{"s.scr", aucRandom(6912, 1)}, {"s.koa", aucRandom(10003, 2)}, {"s.dd", aucRandom(9218, 3)},
            {"s.art", aucRandom(9009, 4)}, {"s.pi1", aucPI1}, {"s.pi2", aucMedium}, {"s.pi3", aucPI3},
            {"s.pc1", aucDegasElite(aucPI1)}, {"s.pc2", aucDegasElite(aucMedium)}, {"s.pc3", aucDegasElite(aucPI3)},
            {"s.neo", aucNetpbmWrite(oFolder, oST, 7, "ppmtoneo")},
            {"s.iff", aucNetpbmWrite(oFolder, oSmall, 255, "ppmtoilbm")},
            {"s.iff", aucNetpbmWrite(oFolder, oMany, 255, "ppmtoilbm -ham6")},
            {"s.iff", aucNetpbmWrite(oFolder, oMany, 255, "ppmtoilbm -ham8")},
            {"s.iff", aucNetpbmWrite(oFolder, oMany, 255, "ppmtoilbm -24force")},
            {"s.iff", aucIFF("ILBM", {{"BMHD", aucBMHD(53, 21, 6, 0, 0)}, {"CMAP", aucRandom(96, 8)},
                                      {"CAMG", {0, 0, 0x80, 0x80}}, {"BODY", aucRandom(8 * 6 * 21, 9)}})},
            {"s.iff", aucIFF("ILBM", {{"BMHD", aucBMHD(53, 21, 3, 1, 0)}, {"BODY", aucRandom(8 * 4 * 21, 10)}})},
            {"s.lbm", aucIFF("PBM ", {{"BMHD", aucBMHD(53, 21, 8, 0, 0)}, {"CMAP", aucRandom(768, 11)}, {"BODY", aucChunky}})},
            {"s.pcx", aucNetpbmWrite(oFolder, oSmall, 255, "ppmtopcx -planes=4")},
            {"s.pcx", aucNetpbmWrite(oFolder, oSmall, 255, "ppmtopcx -packed")},
            {"s.pcx", aucNetpbmWrite(oFolder, oMany, 255, "ppmtopcx -8bit")},
            {"s.pcx", aucNetpbmWrite(oFolder, oMany, 255, "ppmtopcx -24bit")},
            {"s.mac", aucNetpbmWrite(oFolder, oBits, 1, "pbmtomacp")},
            {"s.img", aucNetpbmWrite(oFolder, oRunPicture(70, 24, 2, 2, 12), 1, "pbmtogem")},
            {"s.grp", aucBSAVE(aucVRAM, 0, 0x37FF)}, {"s.ge5", aucBSAVE(aucVRAM, 0, 0x769F)},
            {"s.ge6", aucBSAVE(aucVRAM, 0, 0x769F)}, {"s.ge7", aucBSAVE(aucVRAM, 0, 0xFA9F)},
            {"s.ge8", aucBSAVE(aucVRAM, 0, 0xD3FF)}};
    // clang-format on
}

// One random change: up to 8 bytes replaced (half of them in the header), a
// header byte set to an extreme, the file cut, bytes inserted or removed.
tdBytes aucMutate(tdBytes auc, tdTestRandom* poRandom)
{
    const unsigned uiSize = static_cast<unsigned>(auc.size()), uiAt = poRandom->uiNext(uiSize);
    const unsigned uiKind = poRandom->uiNext(5), uiCount = 1 + poRandom->uiNext(64);
    const unsigned char acExtremes[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
    for (unsigned n = uiKind == 0 ? 1 + uiCount % 8 : 0; n > 0; n--)
        auc[poRandom->uiNext(poRandom->uiNext(2) ? std::min(uiSize, 256u) : uiSize)] =
            static_cast<unsigned char>(poRandom->uiNext(256));
    if (uiKind == 1) auc[poRandom->uiNext(std::min(uiSize, 256u))] = acExtremes[uiCount % 6];
    if (uiKind == 2) auc.resize(uiAt);
    if (uiKind == 3) auc.insert(auc.begin() + uiAt, uiCount, static_cast<unsigned char>(uiCount * 37));
    if (uiKind == 4) auc.erase(auc.begin() + uiAt, auc.begin() + std::min(uiSize, uiAt + uiCount));
    return auc;
}
} // namespace

TEST(RetroHostileTest, MutatedAndCutFilesFailOrGiveWholePictures)
{
#ifdef QEV_TEST_SANITIZED
    const int iMutations = 40;
#else
    const int iMutations = 150;
#endif
    tdTempFolder oFolder;
    for (const std::pair<std::string, tdBytes>& oSeed : aoSeeds(oFolder))
    {
        SCOPED_TRACE(oSeed.first + " of " + std::to_string(oSeed.second.size()) + " bytes");
        ASSERT_TRUE(bDecodeChecked(oSeed.first, oSeed.second)) << "the seed itself must decode";
        tdTestRandom oRandom = {static_cast<uint32_t>(oSeed.second.size())};
        int iDecoded = 0;
        for (int i = 0; i < iMutations && !HasFailure(); i++)
            iDecoded += bDecodeChecked(oSeed.first, aucMutate(oSeed.second, &oRandom));
        // Most small changes keep a file decodable: the loop reaches the decoding code.
        EXPECT_GT(iDecoded, 0);
        // Every cut inside the first 300 bytes, then 32 cuts spread over the rest.
        const size_t uiSize = oSeed.second.size();
        for (size_t i = 0; i < 300 + 32 && !HasFailure(); i++)
        {
            const size_t uiCut = i < 300 ? std::min(i, uiSize) : uiSize * (i - 299) / 33;
            bDecodeChecked(oSeed.first,
                           tdBytes(oSeed.second.begin(), oSeed.second.begin() + static_cast<long>(uiCut)));
        }
    }
}

// A few dozen bytes may describe a whole large picture (GEM 8192 x 1024 mono:
// solid runs replicated 255 times a code), but a size the data cannot fill is
// refused before a picture of that size is made; literal blocks promising more
// bytes than the file holds are refused.
TEST(RetroHostileTest, LyingSizesAreRefused)
{
    tdBytes aucGEM = {0, 1, 0, 8, 0, 1, 0, 1, 0, 85, 0, 85, 0x20, 0x00, 0x04, 0x00};
    for (int iLines = 0; iLines < 1024; iLines += 255)
    {
        aucGEM.insert(aucGEM.end(),
                      {0x00, 0x00, 0xFF, static_cast<unsigned char>(std::min(255, 1024 - iLines))});
        for (int iBytes = 0; iBytes < 1024; iBytes += 127)
            aucGEM.push_back(static_cast<unsigned char>(0x80 | std::min(127, 1024 - iBytes)));
    }
    EXPECT_TRUE(bDecodeChecked("l.img", aucGEM));
    EXPECT_FALSE(bDecodeChecked("l.img", (aucGEM[15] = 1, aucGEM))); // 1025 lines
    tdBytes aucMac(512, 0);
    aucMac.insert(aucMac.end(), {0x7F, 1, 2, 3});
    EXPECT_FALSE(bDecodeChecked("r.mac", aucMac));
}
