// Reading the pictures users bring: a 4000 x 3000 phone photo with a wide-gamut
// ICC profile and a quarter-turn EXIF orientation, and a 1024 x 768 GIF. The
// files are made once by ImageMagick and exiftool in a temporary folder.

#include "input/picture_reader.h"

#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{
// The folder with the files, or "" when the tools are missing.
const std::string& sBenchFolder()
{
    static std::string s = [] {
        char acFolder[] = "/tmp/qev_bench_read_XXXXXX";
        if (!mkdtemp(acFolder)) return std::string();
        const std::string sFolder = acFolder;
        const cmsCIExyY oWhite = {0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE oPrimaries = {{0.68, 0.32, 1.0}, {0.265, 0.69, 1.0}, {0.15, 0.06, 1.0}};
        cmsToneCurve* poCurve = cmsBuildGamma(nullptr, 2.2);
        cmsToneCurve* apoCurves[3] = {poCurve, poCurve, poCurve};
        cmsHPROFILE h = cmsCreateRGBProfile(&oWhite, &oPrimaries, apoCurves);
        cmsFreeToneCurve(poCurve);
        const bool bProfile = h && cmsSaveProfileToFile(h, (sFolder + "/wide.icc").c_str());
        if (h) cmsCloseProfile(h);
        const std::string sMake =
            "cd " + sFolder +
            " && convert -size 4000x3000 radial-gradient:orange-navy -attenuate 0.4 +noise Gaussian -profile "
            "wide.icc -quality 90 photo.jpg && exiftool -q -overwrite_original -n -Orientation=6 photo.jpg && "
            "convert -size 1024x768 radial-gradient:yellow-purple -attenuate 0.5 +noise Gaussian -colors 256 "
            "art.gif";
        return bProfile && std::system(sMake.c_str()) == 0 ? sFolder : std::string();
    }();
    return s;
}

void vRead(benchmark::State& oState, const char* pszFile)
{
    if (sBenchFolder().empty())
    {
        oState.SkipWithError("ImageMagick or exiftool missing");
        return;
    }
    const std::string sName = sBenchFolder() + "/" + pszFile;
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    for (auto _ : oState)
    {
        std::unique_ptr<Image> po(poReadPicture(sName.c_str(), &oSettings, nullptr));
        if (!po) oState.SkipWithError("read failed");
        benchmark::DoNotOptimize(po.get());
    }
}
} // namespace

BENCHMARK_CAPTURE(vRead, PhotoICCRotated4000x3000, "photo.jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(vRead, GIF1024x768, "art.gif")->Unit(benchmark::kMillisecond);
