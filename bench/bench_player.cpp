// The Z80 KRU player in emulated time: a picture cartridge of a photo-like picture
// boots on openMSX (C-BIOS MSX2+, the standard 3.58 MHz Z80) and the time from
// the cartridge's INIT to the picture shown is the iteration's time. Counters:
// the ROM's size and the record's share of it.

#include "bench_util.h"
#include "qev/base/settings.h"
#include "qev/files/format_kru.h"
#include "qev/files/format_rom.h"
#include "qev/files/rom_code.h"
#include "tests/support/msx_emulator.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

static void BM_PlayerShowsPicture(benchmark::State& oState)
{
    const int eScreen = static_cast<int>(oState.range(0));
    const bool bInterlaced = oState.range(1) != 0;
    std::unique_ptr<Image> poPhoto(poPhotoLike(512, 424, 3, 48));
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    oSettings.ScreenMode = static_cast<tdScreenMode>(eScreen);
    oSettings.InterlacedMode = bInterlaced;
    oSettings.ConversionType = ConversionType_ROM;
    tdByteArray oRecord, oROM;
    oBuildKRURecordOfImage(poPhoto.get(), &oSettings, &oRecord, nullptr, nullptr, CompressionType_None);
    bBuildROM({&oRecord}, 0, &oROM, nullptr);
    char acFolder[] = "/tmp/qev_bench_player_XXXXXX";
    if (!mkdtemp(acFolder)) return;
    const std::string sFolder = acFolder, sROM = sFolder + "/picture.rom";
    std::ofstream(sROM, std::ios::binary).write(reinterpret_cast<const char*>(oROM.m_pucData), oROM.m_iSize);
    for (auto _ : oState)
    {
        const tdMSXRun oRun = oRunCartridge(sFolder, sROM, "C-BIOS_MSX2+", oROM.m_iSize > 32768, 1, false);
        if (oRun.m_aoShots.empty())
        {
            oState.SkipWithError("the cartridge did not show its picture");
            break;
        }
        oState.SetIterationTime(oRun.m_aoShots[0].m_fSeconds);
    }
    oState.counters["rom_bytes"] = oROM.m_iSize;
    oState.counters["record_bytes"] = oRecord.m_iSize;
    oState.counters["player_bytes"] = g_iKRUPlayerSize;
    oState.SetLabel(std::string(g_apszScreenModeNames[eScreen]) + (bInterlaced ? " interlaced" : ""));
    (void)std::system(("rm -rf '" + sFolder + "'").c_str());
}
BENCHMARK(BM_PlayerShowsPicture)
    ->ArgsProduct({{0, 1, 8, 2, 3, 4, 5, 6, 7}, {0}})
    ->ArgsProduct({{2, 3, 4, 5, 6, 7}, {1}})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
