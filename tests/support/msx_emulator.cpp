#include "msx_emulator.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

static std::vector<unsigned char> aucFile(const std::string& sName)
{
    std::ifstream oFile(sName, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(oFile), std::istreambuf_iterator<char>());
}

// Address of the cartridge's picture_shown (a RET after the 16-byte header).
static const int g_iPictureShown = 0x4010;

tdMSXRun oRunCartridge(const std::string& sFolder, const std::string& sROM, const char* pszMachine,
                       bool bASCII16, int iShots, bool bPressSpace, double fTimeout)
{
    tdMSXRun oRun;
    const std::vector<unsigned char> aucROM = aucFile(sROM);
    if (aucROM.size() < 16) return oRun;
    const int iInit = aucROM[2] | aucROM[3] << 8;
    const std::string sDump = sFolder + "/shot";
    // Times are emulated seconds; the throttle is off, so the MSX runs as fast as
    // the host can, and video memory is read through the debugger.
    std::ostringstream oTcl;
    oTcl << "set throttle off\n"
         << "set ::t0 -1\nset ::shots 0\n"
         << "debug set_bp " << iInit << " {} { if {$::t0 < 0} { set ::t0 [machine_info time] } }\n"
         << "proc dump {name data} { set f [open $name wb]; puts -nonewline $f $data; close $f }\n"
         << "debug set_bp " << g_iPictureShown << " {} {\n"
         << "  set n $::shots\n"
         << "  dump " << sDump << "$n.vram [debug read_block VRAM 0 0x20000]\n"
         << "  dump " << sDump << "$n.regs [debug read_block {VDP regs} 0 64]\n"
         << "  dump " << sDump << "$n.pal [debug read_block {VDP palette} 0 32]\n"
         << "  set f [open " << sDump
         << "$n.time w]; puts $f [expr {[machine_info time] - $::t0}]; close $f\n"
         << "  incr ::shots\n"
         << "  if {$::shots >= " << iShots << "} { exit }\n"
         << (bPressSpace ? "  after time 0.2 { keymatrixdown 8 1 }\n  after time 0.4 { keymatrixup 8 1 }\n"
                         : "")
         << "}\n"
         << "after time " << (fTimeout + 10.0) << " { exit }\n";
    const std::string sScript = sFolder + "/run.tcl";
    std::ofstream(sScript) << oTcl.str();
    const std::string sCommand =
        "cd '" + sFolder + "' && mkdir -p home && HOME='" + sFolder +
        "/home' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 300 " QEV_OPENMSX " -machine " +
        pszMachine + " -cart '" + sROM + "'" + (bASCII16 ? " -romtype ASCII16" : "") +
        " -script run.tcl > emulator.log 2>&1";
    (void)std::system(sCommand.c_str());
    const std::vector<unsigned char> aucLog = aucFile(sFolder + "/emulator.log");
    oRun.m_sLog.assign(aucLog.begin(), aucLog.end());
    for (int i = 0; i < iShots; i++)
    {
        const std::string sShot = sDump + std::to_string(i);
        tdMSXShot oShot;
        oShot.m_aucVRAM = aucFile(sShot + ".vram");
        oShot.m_aucRegs = aucFile(sShot + ".regs");
        oShot.m_aucWords = aucFile(sShot + ".pal");
        std::ifstream oTime(sShot + ".time");
        if (oShot.m_aucVRAM.size() != 0x20000 || !(oTime >> oShot.m_fSeconds) || oShot.m_fSeconds > fTimeout)
            break;
        oRun.m_aoShots.push_back(oShot);
    }
    return oRun;
}
