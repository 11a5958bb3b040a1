#pragma once

// Runs picture cartridges on an emulated MSX: Debian's openMSX with its free
// C-BIOS machines, headless (SDL's dummy drivers, no sound, a private HOME),
// driven by a Tcl script. The cartridge calls picture_shown (4010h) after each
// picture; there the script saves video memory, the VDP registers and palette.

#include <string>
#include <vector>

// One picture as the MSX shows it when picture_shown is called.
struct tdMSXShot
{
    double m_fSeconds = 0.0;               // emulated seconds since the cartridge's INIT began
    std::vector<unsigned char> m_aucVRAM;  // 128 KiB
    std::vector<unsigned char> m_aucRegs;  // VDP registers 0..63 as the emulator holds them
    std::vector<unsigned char> m_aucWords; // the 16 palette registers, two bytes each
};

struct tdMSXRun
{
    std::vector<tdMSXShot> m_aoShots; // in the order shown
    std::string m_sLog;               // the emulator's output, for failure messages
};

// Boots the ROM file on the machine ("C-BIOS_MSX2+", "C-BIOS_MSX2") as an ASCII16
// MegaROM when bASCII16, and collects iShots pictures; with bPressSpace the space
// bar is pressed and let go after each picture but the last. Stops after
// fTimeout emulated seconds past INIT (fewer shots then). sFolder holds the
// script, the dumps and the private HOME.
tdMSXRun oRunCartridge(const std::string& sFolder, const std::string& sROM, const char* pszMachine,
                       bool bASCII16, int iShots, bool bPressSpace, double fTimeout = 30.0);
