#pragma once

// Helpers shared by the tests: a private temporary folder per test, picture files
// made directly with libpng and libjpeg (independent of the readers under test),
// captured output of in-process calls, and runs of the built qev tool.

#include "qev/base/color.h"
#include "qev/base/image.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Deterministic pseudo-random numbers: a 32-bit linear congruential generator,
// so that every run sees the same "random" files.
struct tdTestRandom
{
    uint32_t m_uiState;
    // 0 .. uiLimit - 1.
    unsigned uiNext(unsigned uiLimit)
    {
        m_uiState = m_uiState * 1664525u + 1013904223u;
        return (m_uiState >> 8) % uiLimit;
    }
};

// A folder of its own for one test, made under $TMPDIR (or /tmp) with the test's
// name in it; removed with everything inside when the object goes.
struct tdTempFolder
{
    std::string m_sPath;

    tdTempFolder();
    ~tdTempFolder();
    tdTempFolder(const tdTempFolder&) = delete;
    tdTempFolder& operator=(const tdTempFolder&) = delete;

    // m_sPath + "/" + sName.
    std::string sFile(const std::string& sName) const;
};

// Whole-file helpers. aucReadFile gives an empty array for a missing file.
std::vector<unsigned char> aucReadFile(const std::string& sName);
bool bWriteFile(const std::string& sName, const std::vector<unsigned char>& aucBytes);
bool bFileExists(const std::string& sName);
// Names (without folder) of everything in a folder except "." and "..", sorted.
std::vector<std::string> asListFolder(const std::string& sFolder);

// A PNG to be written with libpng exactly as described.
struct tdTestPNG
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iBitDepth = 8;            // 1, 2, 4, 8 or 16, as the colour type allows
    int m_iColorType = 2;           // PNG colour type: 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    bool m_bInterlaced = false;     // Adam7
    std::vector<Color> m_aoPalette; // colour type 3; alpha below 255 is written as tRNS
    int m_aiTransparent[3] = {-1, -1, -1}; // tRNS key of grey (first entry) or RGB; -1 for none
    bool m_bPhys = false;
    uint32_t m_uiXPerUnit = 1;
    uint32_t m_uiYPerUnit = 1;
    // One value per channel per pixel (palette index, grey, grey + alpha, RGB or
    // RGBA), top row first; each must fit the bit depth.
    std::vector<uint16_t> m_auiSamples;
};

// Channels per pixel of a PNG colour type (palette: 1).
int iPNGChannels(int iColorType);

bool bWriteTestPNG(const std::string& sName, const tdTestPNG& oPNG);

// The header fields of a PNG file, read from its IHDR bytes, and its pixels
// decoded by libpng's simplified interface as 8-bit RGB, top row first.
struct tdDecodedPNG
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iBitDepth = 0;
    int m_iColorType = -1;
    std::vector<unsigned char> m_aucRGB;
};
bool bReadTestPNG(const std::string& sName, tdDecodedPNG* poPNG);

enum tdTestJPEGKind
{
    TestJPEG_Grey,             // 1 component
    TestJPEG_YCbCr,            // 3 components given as RGB, stored as YCbCr
    TestJPEG_YCbCrProgressive, // the same in progressive scans
    TestJPEG_RGB,              // 3 components stored as RGB (Adobe marker, no transform)
    TestJPEG_CMYK,             // 4 components stored as CMYK
    TestJPEG_YCCK,             // 4 components given as CMYK, stored as YCCK
};

// Writes a baseline JPEG; aucSamples holds the components of every pixel, top row
// first. Chroma is not subsampled, so flat areas keep their colours closely.
bool bWriteTestJPEG(const std::string& sName, tdTestJPEGKind eKind, int iWidth, int iHeight,
                    const std::vector<unsigned char>& aucSamples, int iQuality);

// The texels of a picture with the top row first (the buffer is bottom-up).
std::vector<unsigned char> aucTopDownTexels(const Image* poImage);

// Runs fnWork with standard output and standard error sent to files, and returns
// what each received.
struct tdCaptured
{
    std::string m_sOut;
    std::string m_sErr;
};
tdCaptured oCaptureOutput(const std::function<void()>& fnWork);

// A run of the built qev tool inside a folder.
struct tdRunResult
{
    int m_iExitCode; // the tool's exit code; minus the signal number when a signal ended it
    std::string m_sOut;
    std::string m_sErr;
};

// Runs QEV_BINARY with the arguments (each quoted for the shell) with the folder
// as working folder. pszLimit, when given, is a shell command run first in the
// same shell (for example "ulimit -v 1000000").
tdRunResult oRunQEV(const tdTempFolder& oFolder, const std::vector<std::string>& asArguments,
                    const char* pszLimit = nullptr);

// Synthetic pictures for the encoder tests.
enum tdTestPictureKind
{
    TestPicture_Gradient,     // smooth ramps of every channel
    TestPicture_Noise,        // random colours
    TestPicture_Flat,         // rectangles of a few colours, some of them palette colours
    TestPicture_Transparency, // RGBA ramps with transparent cells holding random colours
    TestPicture_Grain,        // slow colour waves with grain, as in photographs
};

// A new picture of the kind (texel size 4 for TestPicture_Transparency, else 3) with the
// pixel aspect ratio; uiSeed drives the random colours, the flat rectangles are
// iFlatWidth x iFlatHeight pixels. The caller owns it.
Image* poMakeTestPicture(tdTestPictureKind eKind, int iWidth, int iHeight, double fRatio, uint32_t uiSeed,
                         int iFlatWidth, int iFlatHeight);

// Colours that provoke ties in nearest-colour searches: the 512 MSX colours (3-bit
// levels expanded to bytes), the colours halfway between neighbouring ones, greys,
// then the pixels of a noisy gradient; iPhotoPixels of those last (opaque).
std::vector<Color> aoTieProneColors(int iPhotoPixels);
