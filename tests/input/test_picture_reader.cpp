// The reading path for every picture a user brings. Oracle: ImageMagick writes the
// modern formats (and exiftool the EXIF orientation) from a PNG, and decodes each
// file to sRGB itself; our reading must match its decoding. Hostile files: what
// comes back is null or a picture within the size limit.

#include "input/picture_reader.h"
#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{
typedef std::unique_ptr<Image> tdPicture;

bool bShell(const tdTempFolder& oFolder, const std::string& sCommand)
{
    return std::system(("cd '" + oFolder.m_sPath + "' && { " + sCommand + "; } >/dev/null 2>&1").c_str()) ==
           0;
}

// An ICC profile written by Little CMS: sRGB, or a pure gamma 2.2 curve with
// sRGB's primaries (a few levels from sRGB) or with wide ones.
bool bWriteProfile(const std::string& sName, int iKind)
{
    cmsHPROFILE h = nullptr;
    if (iKind > 0)
    {
        const cmsCIExyY oWhite = {0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE oPrimaries = {
            {0.64, 0.33, 1.0}, {iKind == 2 ? 0.21 : 0.30, iKind == 2 ? 0.71 : 0.60, 1.0}, {0.15, 0.06, 1.0}};
        cmsToneCurve* poCurve = cmsBuildGamma(nullptr, 2.2);
        cmsToneCurve* apoCurves[3] = {poCurve, poCurve, poCurve};
        h = cmsCreateRGBProfile(&oWhite, &oPrimaries, apoCurves);
        cmsFreeToneCurve(poCurve);
    }
    else
        h = cmsCreate_sRGBProfile();
    const bool bOK = h && cmsSaveProfileToFile(h, sName.c_str());
    if (h) cmsCloseProfile(h);
    return bOK;
}
} // namespace

TEST(PictureReader, MatchesImageMagickForEveryFormat)
{
    tdTempFolder oFolder;
    // A picture no turn or mirror maps onto itself, with a few colours for GIF.
    ASSERT_TRUE(bShell(oFolder, "convert -size 40x24 xc:navy -fill orange -draw 'rectangle 2,2 17,9' -fill "
                                "'rgb(30,200,90)' -draw 'rectangle 30,14 37,21' src.png"));
    ASSERT_TRUE(bWriteProfile(oFolder.sFile("wide.icc"), 2));
    ASSERT_TRUE(bWriteProfile(oFolder.sFile("g22.icc"), 1));
    ASSERT_TRUE(bWriteProfile(oFolder.sFile("srgb.icc"), 0));
    // clang-format off
    struct { const char* pszName; const char* pszMake; const char* pszDecode; int iTolerance; } const aoRows[] = {
        {"a.gif",   "convert src.png a.gif",                         "convert a.gif ref.png",  0},
        {"a.bmp",   "convert src.png a.bmp",                         "convert a.bmp ref.png",  0},
        {"a.tif",   "convert src.png -compress lzw a.tif",           "convert a.tif ref.png",  0},
        {"a.webp",  "convert src.png -define webp:lossless=true a.webp", "convert a.webp ref.png", 0},
        // ImageMagick stores Targa rows top first under a bottom-first origin: netpbm here.
        {"a.tga",   "pngtopnm src.png | pamtotga -rgb -norle > a.tga", "tgatoppm a.tga | pnmtopng > ref.png", 0},
        {"rle.tga", "pngtopnm src.png | pamtotga -rgb > rle.tga",    "tgatoppm rle.tga | pnmtopng > ref.png", 0},
        {"a.ppm",   "convert src.png a.ppm",                         "convert a.ppm ref.png",  0},
        // Names that lie or say nothing: the first bytes decide.
        {"gif.png", "convert src.png gif:gif.png",                   "convert gif:gif.png ref.png", 0},
        {"picture", "convert src.png jpg:picture",                   "convert jpg:picture ref.png", 2},
        {"bmp.jpg", "convert src.png bmp:bmp.jpg",                   "convert bmp:bmp.jpg ref.png", 0},
        {"cmyk.jpg","convert src.png -quality 100 -colorspace CMYK cmyk.jpg", "convert cmyk.jpg -colorspace sRGB ref.png", 3},
        {"wide.jpg","convert src.png -quality 100 -profile wide.icc wide.jpg", "convert wide.jpg -profile srgb.icc ref.png", 3},
        {"wide.png","convert src.png -profile wide.icc wide.png",    "convert wide.png -profile srgb.icc ref.png", 3},
        {"srgb.png","convert src.png -profile srgb.icc srgb.png",    "cp src.png ref.png",     0},
        {"g22.png", "convert src.png -profile g22.icc g22.png",      "convert g22.png -profile srgb.icc ref.png", 1},
        // Linear samples (gAMA 1.0, no profile) brought to sRGB's gamma.
        {"lin.png", "pngtopnm src.png | pnmtopng -gamma 1.0 > lin.png", "convert lin.png -gamma 2.2 -strip ref.png", 1},
        {"o2.jpg",  "convert src.png -quality 100 o2.jpg && exiftool -n -Orientation=2 o2.jpg", "convert o2.jpg -auto-orient ref.png", 2},
        {"o3.jpg",  "convert src.png -quality 100 o3.jpg && exiftool -n -Orientation=3 o3.jpg", "convert o3.jpg -auto-orient ref.png", 2},
        {"o4.jpg",  "convert src.png -quality 100 o4.jpg && exiftool -n -Orientation=4 o4.jpg", "convert o4.jpg -auto-orient ref.png", 2},
        {"o5.jpg",  "convert src.png -quality 100 o5.jpg && exiftool -n -Orientation=5 o5.jpg", "convert o5.jpg -auto-orient ref.png", 2},
        {"o6.jpg",  "convert src.png -quality 100 o6.jpg && exiftool -n -Orientation=6 o6.jpg", "convert o6.jpg -auto-orient ref.png", 2},
        {"o7.jpg",  "convert src.png -quality 100 o7.jpg && exiftool -n -Orientation=7 o7.jpg", "convert o7.jpg -auto-orient ref.png", 2},
        // Pixels twice as wide as high (pHYs) become twice as high by the quarter turn.
        {"o8.png",  "pngtopnm src.png | pnmtopng -size '1 2 0' > o8.png && exiftool -n -Orientation=8 o8.png", "convert src.png -rotate 270 ref.png", 0},
    };
    // clang-format on
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    for (const auto& oRow : aoRows)
    {
        SCOPED_TRACE(oRow.pszName);
        ASSERT_TRUE(bShell(oFolder, oRow.pszMake));
        ASSERT_TRUE(bShell(oFolder, oRow.pszDecode));
        tdDecodedPNG oReference;
        ASSERT_TRUE(bReadTestPNG(oFolder.sFile("ref.png"), &oReference));
        std::string sError;
        tdPicture po(poReadPicture(oFolder.sFile(oRow.pszName).c_str(), &oSettings, &sError));
        ASSERT_NE(po, nullptr) << sError;
        ASSERT_EQ(po->m_iWidth * 1000 + po->m_iHeight, oReference.m_iWidth * 1000 + oReference.m_iHeight);
        tdBytes aucTexels = aucTopDownTexels(po.get());
        int iWorst = 0;
        for (size_t i = 0; i < oReference.m_aucRGB.size(); i++)
        {
            const size_t uiTexel = static_cast<size_t>(po->m_iTexelSize);
            const int iOurs = aucTexels[(i / 3) * uiTexel + (uiTexel < 3 ? 0 : i % 3)];
            iWorst = std::max(iWorst, std::abs(iOurs - oReference.m_aucRGB[i]));
        }
        EXPECT_LE(iWorst, oRow.iTolerance);
        EXPECT_EQ(po->m_fAspectRatio, strcmp(oRow.pszName, "o8.png") == 0 ? 0.5 : 1.0);
    }
}

// Truncated and damaged files of every reader, and sizes that lie: null or a
// picture within the limit, and no read or allocation beyond it (the sanitizers).
TEST(PictureReader, HostileFilesGiveNullOrAPicture)
{
    tdTempFolder oFolder;
    ASSERT_TRUE(bShell(oFolder, "convert -size 24x16 gradient:red-blue src.png && convert src.png a.gif && "
                                "convert src.png a.bmp && convert src.png a.tif && convert src.png a.webp && "
                                "pngtopnm src.png | pamtotga -rgb > a.tga && convert src.png a.ppm"));
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    uint32_t uiSeed = 1;
    for (const char* pszName : {"a.gif", "a.bmp", "a.tif", "a.webp", "a.tga", "a.ppm"})
    {
        const tdBytes aucGood = aucReadFile(oFolder.sFile(pszName));
        for (int iCase = 0; iCase < 24; iCase++)
        {
            tdBytes auc = aucGood;
            if (iCase < 8)
                auc.resize(auc.size() * static_cast<size_t>(iCase) / 8);
            else
                for (unsigned char& uc : aucRandom(4, uiSeed++))
                    auc[(uc * 7919u + static_cast<unsigned>(iCase)) % auc.size()] = uc;
            ASSERT_TRUE(bWriteFile(oFolder.sFile(pszName), auc));
            tdPicture po(poReadPicture(oFolder.sFile(pszName).c_str(), &oSettings, nullptr));
            EXPECT_TRUE(!po || bImageSizeValid(po->m_iWidth, po->m_iHeight, po->m_iTexelSize));
        }
    }
}

// Files that lie: formats we do not read under a listed name, headers declaring
// pictures their bytes cannot hold, and every BMP and Targa variant cut short.
// Each is refused (exit 1, nothing written) with its reason, before a decoder
// makes up a picture from missing bytes or the heap; the virtual memory limit
// (not under the sanitizers, which reserve terabytes) catches any decoder that
// allocates the declared size anyway.
TEST(PictureReader, HostileFilesAreRefusedWithTheirReason)
{
    tdTempFolder oFolder;
    static const char szEnds[] = "the file ends before the picture does";
    // clang-format off
    // BMP and Targa of every variant (ImageMagick and netpbm write them), each cut below.
    struct { const char* pszName; const char* pszMake; } const aoVariants[] = {
        {"b1.bmp",   "convert p.png -type bilevel bmp3:b1.bmp"},
        {"b4.bmp",   "convert p.png -colors 16 -type palette bmp3:b4.bmp"},
        {"b8.bmp",   "convert p.png -colors 200 -type palette bmp3:b8.bmp"},
        {"r4.bmp",   "convert p.png -colors 16 -type palette -compress rle bmp3:r4.bmp"},
        {"r8.bmp",   "convert p.png -colors 200 -type palette -compress rle bmp3:r8.bmp"},
        {"b16.bmp",  "convert p.png -define bmp:subtype=RGB565 bmp:b16.bmp"},
        {"b24.bmp",  "convert p.png bmp3:b24.bmp"},
        {"b32.bmp",  "convert p.png -alpha set -channel A -evaluate set 80% bmp:b32.bmp"},
        {"os2.bmp",  "convert p.png bmp2:os2.bmp"},
        {"t1.tga",   "pnmquant 200 p.ppm | pamtotga -cmap -norle > t1.tga"},
        {"t2.tga",   "pamtotga -rgb -norle p.ppm > t2.tga"},
        {"t3.tga",   "ppmtopgm p.ppm | pamtotga -mono -norle > t3.tga"},
        {"t9.tga",   "pnmquant 200 p.ppm | pamtotga -cmap > t9.tga"},
        {"t10.tga",  "pamtotga -rgb p.ppm > t10.tga"},
        {"t11.tga",  "ppmtopgm p.ppm | pamtotga -mono > t11.tga"},
        {"ta.tga",   "convert p.png -alpha set -channel A -evaluate set 50% ta.tga"},
        {"tra.tga",  "convert p.png -alpha set -channel A -evaluate set 50% -compress rle tra.tga"},
        {"g.gif",    "convert p.png g.gif"},
        {"g.png",    "cp p.png g.png"},
        {"g.jpg",    "convert p.png g.jpg"},
        {"gp.jpg",   "convert p.png -interlace plane gp.jpg"},
        {"g.xbm",    "convert p.png -monochrome g.xbm"},
    };
    // clang-format on
    ASSERT_TRUE(bShell(oFolder, "convert -seed 3 -size 64x40 plasma: p.png && pngtopnm p.png > p.ppm"));
    std::vector<std::pair<std::string, std::string>> aoExpected; // file, reason
    for (const auto& oVariant : aoVariants)
    {
        ASSERT_TRUE(bShell(oFolder, oVariant.pszMake)) << oVariant.pszMake;
        const tdBytes aucGood = aucReadFile(oFolder.sFile(oVariant.pszName));
        for (int iPercent : {40, 80, 97})
        {
            const std::string sName = std::to_string(iPercent) + oVariant.pszName;
            ASSERT_TRUE(
                bWriteFile(oFolder.sFile(sName),
                           tdBytes(aucGood.begin(), aucGood.begin() + aucGood.size() * iPercent / 100)));
            aoExpected.push_back({sName, szEnds});
        }
    }
    // Size lies: 8000 x 8000 (inside every limit) declared by a few bytes.
    tdBytes aucJPEG = aucReadFile(oFolder.sFile("g.jpg"));
    for (size_t i = 0; i + 9 < aucJPEG.size(); i++)
        if (aucJPEG[i] == 0xFF && aucJPEG[i + 1] == 0xC0)
        {
            aucJPEG[i + 5] = aucJPEG[i + 7] = 8000 >> 8;
            aucJPEG[i + 6] = aucJPEG[i + 8] = 8000 & 0xFF;
            break;
        }
    tdBytes aucBMP = aucBytes({'B', 'M',  0,    0, 0, 0,    0,    0, 0, 0, 54, 0,  0, 0, 40, 0, 0,
                               0,   0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0,  24, 0, 0, 0,  0, 0});
    aucBMP.resize(55, 0);
    const std::string sXBM =
        "#define a_width 8000\n#define a_height 8000\nstatic char a_bits[] = {\n0x00, 0x01 };\n";
    const std::pair<const char*, tdBytes> aoLies[] = {
        {"big.jpg", aucJPEG},
        {"one.bmp", aucBMP},
        {"raw.tga", aucBytes({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x1F, 0x40, 0x1F, 24, 0})},
        {"rle.tga",
         aucBytes({0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x1F, 0x40, 0x1F, 24, 0, 0xFF, 1, 2, 3})},
        {"big.xbm", tdBytes(sXBM.begin(), sXBM.end())},
        // 16384 x 16384 through a reader that would hold 8 bytes a pixel: 2 GiB.
        {"huge.tga", aucBytes({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x40, 24, 0})},
    };
    for (const auto& oLie : aoLies)
    {
        ASSERT_TRUE(bWriteFile(oFolder.sFile(oLie.first), oLie.second));
        aoExpected.push_back({oLie.first, strcmp(oLie.first, "huge.tga") == 0
                                              ? "the picture needs more memory than one read may use"
                                              : szEnds});
    }
    // A format we do not list under names we do: the contents decide, and name none.
    ASSERT_TRUE(bShell(oFolder, "convert p.png mng:mng.gif && cp mng.gif mng.bmp && cp mng.gif mng.tif"));
    for (const char* psz : {"mng.gif", "mng.bmp", "mng.tif"})
        aoExpected.push_back({psz, "unknown file type"});

    std::vector<std::string> asArguments = {"--jobs=1", "--outdir=out"};
    for (const auto& o : aoExpected)
        asArguments.push_back(o.first);
    ASSERT_TRUE(bShell(oFolder, "mkdir out"));
#ifdef QEV_TEST_SANITIZED
    const tdRunResult oRun = oRunQEV(oFolder, asArguments);
#else
    const tdRunResult oRun = oRunQEV(oFolder, asArguments, "ulimit -v 1000000");
#endif
    EXPECT_EQ(oRun.m_iExitCode, 1);
    for (const auto& o : aoExpected)
        EXPECT_NE(oRun.m_sErr.find("qev: cannot read " + o.first + ": " + o.second), std::string::npos)
            << o.first;
    EXPECT_TRUE(asListFolder(oFolder.sFile("out")).empty());
}

// Qt is mapped only when a picture needs its readers: the tool and this test
// program link none of it, a PNG read loads none, and the first GIF loads the
// reader module.
TEST(PictureReader, QtIsMappedOnlyForItsFormats)
{
    auto bQtMapped = []
    {
        const tdBytes aucMaps = aucReadFile("/proc/self/maps");
        return std::string(aucMaps.begin(), aucMaps.end()).find("libQt6") != std::string::npos;
    };
    tdTempFolder oFolder;
    ASSERT_TRUE(bShell(oFolder, "convert -size 256x212 gradient:red-blue a.png && convert a.png a.gif"));
    ASSERT_TRUE(bShell(oFolder, std::string("LD_TRACE_LOADED_OBJECTS=1 '") + QEV_BINARY + "' > libs.txt"));
    const tdBytes aucLibraries = aucReadFile(oFolder.sFile("libs.txt"));
    EXPECT_EQ(std::string(aucLibraries.begin(), aucLibraries.end()).find("libQt6"), std::string::npos);
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    ASSERT_FALSE(bQtMapped());
    EXPECT_NE(tdPicture(poReadPicture(oFolder.sFile("a.png").c_str(), &oSettings, nullptr)), nullptr);
    EXPECT_FALSE(bQtMapped());
    EXPECT_NE(tdPicture(poReadPicture(oFolder.sFile("a.gif").c_str(), &oSettings, nullptr)), nullptr);
    EXPECT_TRUE(bQtMapped());
}
