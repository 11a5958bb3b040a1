#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <png.h>

tdTempFolder::tdTempFolder()
{
    const char* pszBase = getenv("TMPDIR");
    if (!pszBase || !*pszBase) pszBase = "/tmp";
    std::string sName = "qev_test";
    const ::testing::TestInfo* poInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    if (poInfo)
    {
        sName += "_";
        sName += poInfo->name();
    }
    // Parameterised test names carry "/"; a folder name must not.
    std::replace(sName.begin(), sName.end(), '/', '_');
    std::string sTemplate = std::string(pszBase) + "/" + sName + "_XXXXXX";
    if (mkdtemp(&sTemplate[0])) m_sPath = sTemplate;
}

tdTempFolder::~tdTempFolder()
{
    if (m_sPath.empty()) return;
    std::error_code oError;
    std::filesystem::remove_all(m_sPath, oError);
}

std::string tdTempFolder::sFile(const std::string& sName) const
{
    return m_sPath + "/" + sName;
}

std::vector<unsigned char> aucReadFile(const std::string& sName)
{
    std::vector<unsigned char> aucBytes;
    FILE* poFile = fopen(sName.c_str(), "rb");
    if (!poFile) return aucBytes;
    unsigned char acBuffer[65536];
    size_t uiRead;
    while ((uiRead = fread(acBuffer, 1, sizeof(acBuffer), poFile)) > 0)
        aucBytes.insert(aucBytes.end(), acBuffer, acBuffer + uiRead);
    fclose(poFile);
    return aucBytes;
}

bool bWriteFile(const std::string& sName, const std::vector<unsigned char>& aucBytes)
{
    FILE* poFile = fopen(sName.c_str(), "wb");
    if (!poFile) return false;
    bool bOK = aucBytes.empty() || fwrite(aucBytes.data(), 1, aucBytes.size(), poFile) == aucBytes.size();
    return fclose(poFile) == 0 && bOK;
}

bool bFileExists(const std::string& sName)
{
    struct stat oStat;
    return stat(sName.c_str(), &oStat) == 0;
}

std::vector<std::string> asListFolder(const std::string& sFolder)
{
    std::vector<std::string> asNames;
    DIR* poFolder = opendir(sFolder.c_str());
    if (!poFolder) return asNames;
    while (dirent* poEntry = readdir(poFolder))
    {
        if (strcmp(poEntry->d_name, ".") == 0 || strcmp(poEntry->d_name, "..") == 0) continue;
        asNames.push_back(poEntry->d_name);
    }
    closedir(poFolder);
    std::sort(asNames.begin(), asNames.end());
    return asNames;
}

int iPNGChannels(int iColorType)
{
    return iColorType == PNG_COLOR_TYPE_GRAY_ALPHA  ? 2
           : iColorType == PNG_COLOR_TYPE_RGB       ? 3
           : iColorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                    : 1;
}

namespace
{
// Everything the libpng write frame needs, prepared by its caller.
struct tdPNGWriteFrame
{
    FILE* poFile;
    const tdTestPNG* poPNG;
    png_bytepp ppucRows;
    const png_color* poPalette;
    int iPaletteSize;
    const png_byte* pucPaletteAlpha;
    int iPaletteAlphaSize;
    const png_color_16* poKey; // null without a grey or RGB tRNS key
};
} // namespace

// The setjmp frame: plain locals only, the caller owns every buffer.
static bool bWritePNGFrame(const tdPNGWriteFrame* poFrame)
{
    png_structp psPNG = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!psPNG) return false;
    png_infop psInfo = png_create_info_struct(psPNG);
    if (!psInfo || setjmp(png_jmpbuf(psPNG)))
    {
        png_destroy_write_struct(&psPNG, &psInfo);
        return false;
    }
    const tdTestPNG* poPNG = poFrame->poPNG;
    png_init_io(psPNG, poFrame->poFile);
    png_set_IHDR(psPNG, psInfo, static_cast<png_uint_32>(poPNG->m_iWidth),
                 static_cast<png_uint_32>(poPNG->m_iHeight), poPNG->m_iBitDepth, poPNG->m_iColorType,
                 poPNG->m_bInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (poFrame->iPaletteSize > 0) png_set_PLTE(psPNG, psInfo, poFrame->poPalette, poFrame->iPaletteSize);
    if (poFrame->iPaletteAlphaSize > 0 || poFrame->poKey)
        png_set_tRNS(psPNG, psInfo, poFrame->pucPaletteAlpha, poFrame->iPaletteAlphaSize, poFrame->poKey);
    if (poPNG->m_bPhys)
        png_set_pHYs(psPNG, psInfo, poPNG->m_uiXPerUnit, poPNG->m_uiYPerUnit, PNG_RESOLUTION_METER);
    png_write_info(psPNG, psInfo);
    png_write_image(psPNG, poFrame->ppucRows);
    png_write_end(psPNG, psInfo);
    png_destroy_write_struct(&psPNG, &psInfo);
    return true;
}

bool bWriteTestPNG(const std::string& sName, const tdTestPNG& oPNG)
{
    const int iChannels = iPNGChannels(oPNG.m_iColorType);
    const size_t uiValues = static_cast<size_t>(oPNG.m_iWidth) * oPNG.m_iHeight * iChannels;
    if (oPNG.m_auiSamples.size() != uiValues) return false;

    // Rows packed as the file stores them: samples below 8 bits filled from the
    // most significant bit, 16-bit samples big-endian.
    const size_t uiRowValues = static_cast<size_t>(oPNG.m_iWidth) * iChannels;
    const size_t uiRowBytes = (uiRowValues * oPNG.m_iBitDepth + 7) / 8;
    std::vector<unsigned char> aucPacked(uiRowBytes * oPNG.m_iHeight, 0);
    for (int y = 0; y < oPNG.m_iHeight; y++)
    {
        unsigned char* pucRow = &aucPacked[y * uiRowBytes];
        for (size_t i = 0; i < uiRowValues; i++)
        {
            unsigned uiValue = oPNG.m_auiSamples[y * uiRowValues + i];
            if (oPNG.m_iBitDepth == 16)
            {
                pucRow[2 * i] = static_cast<unsigned char>(uiValue >> 8);
                pucRow[2 * i + 1] = static_cast<unsigned char>(uiValue);
            }
            else
            {
                size_t uiBit = i * oPNG.m_iBitDepth;
                int iShift = 8 - oPNG.m_iBitDepth - static_cast<int>(uiBit % 8);
                pucRow[uiBit / 8] |= static_cast<unsigned char>(uiValue << iShift);
            }
        }
    }
    std::vector<png_bytep> apucRows(oPNG.m_iHeight);
    for (int y = 0; y < oPNG.m_iHeight; y++)
        apucRows[y] = &aucPacked[y * uiRowBytes];

    std::vector<png_color> aoPalette;
    std::vector<png_byte> aucAlpha;
    for (const Color& oColor : oPNG.m_aoPalette)
    {
        aoPalette.push_back({oColor.r, oColor.g, oColor.b});
        aucAlpha.push_back(oColor.a);
    }
    // tRNS holds palette alphas up to the last one below 255.
    while (!aucAlpha.empty() && aucAlpha.back() == 255)
        aucAlpha.pop_back();
    png_color_16 oKey = {};
    bool bKey = oPNG.m_aiTransparent[0] >= 0;
    if (oPNG.m_iColorType == PNG_COLOR_TYPE_GRAY)
    {
        oKey.gray = static_cast<png_uint_16>(oPNG.m_aiTransparent[0]);
    }
    else
    {
        oKey.red = static_cast<png_uint_16>(oPNG.m_aiTransparent[0]);
        oKey.green = static_cast<png_uint_16>(oPNG.m_aiTransparent[1]);
        oKey.blue = static_cast<png_uint_16>(oPNG.m_aiTransparent[2]);
    }

    FILE* poFile = fopen(sName.c_str(), "wb");
    if (!poFile) return false;
    tdPNGWriteFrame oFrame = {poFile,
                              &oPNG,
                              apucRows.empty() ? nullptr : apucRows.data(),
                              aoPalette.empty() ? nullptr : aoPalette.data(),
                              static_cast<int>(aoPalette.size()),
                              aucAlpha.empty() ? nullptr : aucAlpha.data(),
                              static_cast<int>(aucAlpha.size()),
                              bKey ? &oKey : nullptr};
    bool bOK = bWritePNGFrame(&oFrame);
    return fclose(poFile) == 0 && bOK;
}

static uint32_t uiBigEndian32(const unsigned char* puc)
{
    return (static_cast<uint32_t>(puc[0]) << 24) | (static_cast<uint32_t>(puc[1]) << 16) |
           (static_cast<uint32_t>(puc[2]) << 8) | puc[3];
}

bool bReadTestPNG(const std::string& sName, tdDecodedPNG* poPNG)
{
    // Signature (8), IHDR length (4), "IHDR" (4), width, height, bit depth, colour type.
    std::vector<unsigned char> aucFile = aucReadFile(sName);
    if (aucFile.size() < 26 || memcmp(&aucFile[12], "IHDR", 4) != 0) return false;
    poPNG->m_iWidth = static_cast<int>(uiBigEndian32(&aucFile[16]));
    poPNG->m_iHeight = static_cast<int>(uiBigEndian32(&aucFile[20]));
    poPNG->m_iBitDepth = aucFile[24];
    poPNG->m_iColorType = aucFile[25];

    png_image oImage = {};
    oImage.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&oImage, aucFile.data(), aucFile.size())) return false;
    oImage.format = PNG_FORMAT_RGB;
    poPNG->m_aucRGB.assign(PNG_IMAGE_SIZE(oImage), 0);
    bool bOK = png_image_finish_read(&oImage, nullptr, poPNG->m_aucRGB.data(), 0, nullptr) != 0;
    png_image_free(&oImage);
    return bOK && static_cast<int>(oImage.width) == poPNG->m_iWidth &&
           static_cast<int>(oImage.height) == poPNG->m_iHeight;
}

bool bWriteTestJPEG(const std::string& sName, tdTestJPEGKind eKind, int iWidth, int iHeight,
                    const std::vector<unsigned char>& aucSamples, int iQuality)
{
    int iComponents = eKind == TestJPEG_Grey ? 1 : (eKind == TestJPEG_CMYK || eKind == TestJPEG_YCCK) ? 4 : 3;
    if (aucSamples.size() != static_cast<size_t>(iWidth) * iHeight * iComponents) return false;
    FILE* poFile = fopen(sName.c_str(), "wb");
    if (!poFile) return false;

    // The standard error manager ends the process on a fatal error; writing to a
    // fresh file of a private folder does not meet one.
    jpeg_compress_struct oJPEG;
    jpeg_error_mgr oError;
    oJPEG.err = jpeg_std_error(&oError);
    jpeg_create_compress(&oJPEG);
    jpeg_stdio_dest(&oJPEG, poFile);
    oJPEG.image_width = static_cast<JDIMENSION>(iWidth);
    oJPEG.image_height = static_cast<JDIMENSION>(iHeight);
    oJPEG.input_components = iComponents;
    oJPEG.in_color_space = iComponents == 1 ? JCS_GRAYSCALE : iComponents == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&oJPEG);
    if (eKind == TestJPEG_RGB) jpeg_set_colorspace(&oJPEG, JCS_RGB);
    if (eKind == TestJPEG_YCCK) jpeg_set_colorspace(&oJPEG, JCS_YCCK);
    if (eKind == TestJPEG_YCbCrProgressive) jpeg_simple_progression(&oJPEG);
    jpeg_set_quality(&oJPEG, iQuality, TRUE);
    for (int i = 0; i < oJPEG.num_components; i++)
    {
        oJPEG.comp_info[i].h_samp_factor = 1;
        oJPEG.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&oJPEG, TRUE);
    const size_t uiRow = static_cast<size_t>(iWidth) * iComponents;
    while (oJPEG.next_scanline < oJPEG.image_height)
    {
        JSAMPROW pucRow = const_cast<JSAMPROW>(&aucSamples[oJPEG.next_scanline * uiRow]);
        jpeg_write_scanlines(&oJPEG, &pucRow, 1);
    }
    jpeg_finish_compress(&oJPEG);
    jpeg_destroy_compress(&oJPEG);
    return fclose(poFile) == 0;
}

std::vector<unsigned char> aucTopDownTexels(const Image* poImage)
{
    std::vector<unsigned char> aucTexels;
    if (!poImage->m_pucTexels) return aucTexels;
    const size_t uiRow = static_cast<size_t>(poImage->m_iWidth) * poImage->m_iTexelSize;
    for (int y = 0; y < poImage->m_iHeight; y++)
    {
        const unsigned char* pucRow = poImage->m_pucTexels + (poImage->m_iHeight - 1 - y) * uiRow;
        aucTexels.insert(aucTexels.end(), pucRow, pucRow + uiRow);
    }
    return aucTexels;
}

static std::string sReadText(const std::string& sName)
{
    std::vector<unsigned char> aucBytes = aucReadFile(sName);
    return std::string(aucBytes.begin(), aucBytes.end());
}

tdCaptured oCaptureOutput(const std::function<void()>& fnWork)
{
    // Each stream's descriptor points at a file while fnWork runs; flushed both ways.
    tdTempFolder oFolder;
    FILE* const apoStreams[2] = {stdout, stderr};
    const std::string asNames[2] = {oFolder.sFile("stdout"), oFolder.sFile("stderr")};
    int aiSaved[2];
    for (int i = 0; i < 2; i++)
    {
        fflush(apoStreams[i]);
        int iFile = open(asNames[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        aiSaved[i] = dup(fileno(apoStreams[i]));
        dup2(iFile, fileno(apoStreams[i]));
        close(iFile);
    }
    fnWork();
    for (int i = 0; i < 2; i++)
    {
        fflush(apoStreams[i]);
        dup2(aiSaved[i], fileno(apoStreams[i]));
        close(aiSaved[i]);
    }
    return {sReadText(asNames[0]), sReadText(asNames[1])};
}

// Single-quoted for the shell: ' becomes '\''.
static std::string sQuote(const std::string& s)
{
    std::string sQuoted = "'";
    for (char c : s)
        sQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return sQuoted + "'";
}

tdRunResult oRunQEV(const tdTempFolder& oFolder, const std::vector<std::string>& asArguments,
                    const char* pszLimit)
{
    std::string sOut = oFolder.sFile(".qev_stdout");
    std::string sErr = oFolder.sFile(".qev_stderr");
    std::string sCommand = "cd " + sQuote(oFolder.m_sPath) + " && ";
    if (pszLimit) sCommand += std::string(pszLimit) + " && ";
    sCommand += sQuote(QEV_BINARY);
    for (const std::string& s : asArguments)
        sCommand += " " + sQuote(s);
    sCommand += " >" + sQuote(sOut) + " 2>" + sQuote(sErr);
    int iStatus = system(sCommand.c_str());
    tdRunResult oResult;
    if (iStatus == -1)
        oResult.m_iExitCode = -1000;
    else if (WIFSIGNALED(iStatus))
        oResult.m_iExitCode = -WTERMSIG(iStatus);
    else
        oResult.m_iExitCode = WEXITSTATUS(iStatus);
    // A shell reports a command ended by signal n as 128 + n.
    if (oResult.m_iExitCode > 128 && oResult.m_iExitCode < 160)
        oResult.m_iExitCode = 128 - oResult.m_iExitCode;
    oResult.m_sOut = sReadText(sOut);
    oResult.m_sErr = sReadText(sErr);
    unlink(sOut.c_str());
    unlink(sErr.c_str());
    return oResult;
}

Image* poMakeTestPicture(tdTestPictureKind eKind, int iWidth, int iHeight, double fRatio, uint32_t uiSeed,
                         int iFlatWidth, int iFlatHeight)
{
    const int iTexelSize = eKind == TestPicture_Transparency ? 4 : 3;
    Image* poImage = new Image(iWidth, iHeight, iTexelSize, Background_Black, fRatio);
    tdTestRandom oRandom = {uiSeed};
    auto oRandomColor = [&oRandom](unsigned char ucAlpha)
    {
        oRandom.m_uiState = oRandom.m_uiState * 1664525u + 1013904223u;
        uint32_t ui = oRandom.m_uiState >> 8;
        return Color{static_cast<unsigned char>(ui), static_cast<unsigned char>(ui >> 8),
                     static_cast<unsigned char>(ui >> 16), ucAlpha};
    };
    const Color aoFlat[6] = {{0, 0, 0, 255},     {255, 255, 255, 255}, {36, 219, 36, 255},
                             {200, 40, 90, 255}, {73, 109, 255, 255},  {128, 128, 128, 255}};
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < iWidth; x++)
        {
            Color o = {0, 0, 0, 255};
            switch (eKind)
            {
            case TestPicture_Gradient:
            case TestPicture_Transparency:
                o.r = static_cast<unsigned char>(iWidth > 1 ? 255 * x / (iWidth - 1) : 0);
                o.g = static_cast<unsigned char>(iHeight > 1 ? 255 * y / (iHeight - 1) : 0);
                o.b = static_cast<unsigned char>((3 * x + 5 * y) & 255);
                if (eKind == TestPicture_Transparency && ((x / 5 + y / 3) % 3 == 0)) o = oRandomColor(0);
                break;
            case TestPicture_Noise:
                o = oRandomColor(255);
                break;
            case TestPicture_Flat:
                o = aoFlat[(x / iFlatWidth + 2 * (y / iFlatHeight)) % 6];
                break;
            case TestPicture_Grain:
            {
                // waves of 100 to 300 pixels, grain of +-24 levels per channel
                const Color oGrain = oRandomColor(255);
                const double afWave[3] = {std::sin(x * 0.031 + y * 0.012),
                                          std::sin(x * 0.011 - y * 0.027 + 1.0),
                                          std::sin((x + y) * 0.019 + 2.0) * std::cos(y * 0.023)};
                const unsigned char aucGrain[3] = {oGrain.r, oGrain.g, oGrain.b};
                unsigned char auc[3];
                for (int c = 0; c < 3; c++)
                    auc[c] = static_cast<unsigned char>(std::clamp(
                        static_cast<int>(std::lround(127.5 + 127.5 * afWave[c])) + aucGrain[c] % 49 - 24, 0,
                        255));
                o = {auc[0], auc[1], auc[2], 255};
                break;
            }
            }
            poImage->vSetPixel(x, y, &o);
        }
    }
    return poImage;
}

std::vector<Color> aoTieProneColors(int iPhotoPixels)
{
    std::vector<Color> ao;
    auto ucLevel = [](int l) { return static_cast<unsigned char>((255 * l + 3) / 7); };
    for (int i = 0; i < 512; i++)
        ao.push_back({ucLevel(i >> 6), ucLevel((i >> 3) & 7), ucLevel(i & 7), 255});
    for (int i = 0; i < 343; i++) // halfway in one, two or three channels
    {
        const int r = i / 49, g = i / 7 % 7, b = i % 7;
        auto ucHalf = [&](int l) { return static_cast<unsigned char>((ucLevel(l) + ucLevel(l + 1)) / 2); };
        ao.push_back({ucHalf(r), ucLevel(g), ucLevel(b), 255});
        ao.push_back({ucHalf(r), ucHalf(g), ucLevel(b), 255});
        ao.push_back({ucHalf(r), ucHalf(g), ucHalf(b), 255});
    }
    for (int v = 0; v < 256; v += 5)
        ao.push_back({static_cast<unsigned char>(v), static_cast<unsigned char>(v),
                      static_cast<unsigned char>(v), 255});
    std::unique_ptr<Image> poPhoto(poMakeTestPicture(TestPicture_Gradient, 64, 64, 1.0, 3, 9, 7));
    std::unique_ptr<Image> poNoise(poMakeTestPicture(TestPicture_Noise, 64, 64, 1.0, 4, 9, 7));
    for (int i = 0; i < iPhotoPixels; i++)
    {
        Color o = (i & 1 ? poNoise : poPhoto)->oGetPixel(i / 2 % 64, i / 128 % 64);
        o.a = 255;
        ao.push_back(o);
    }
    return ao;
}
