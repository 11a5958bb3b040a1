// The qev command-line tool: argument handling, checks and messages over the
// conversion core.
//
//   qev <input_file> [options...] [-of<output_file>] [--palette=<file>]
//   qev --sample [options...] [-of<output_file>] [--palette=<file>]

#include "cli/qev_cli.h"

#include "input/picture_reader.h"
#include "qev/base/image.h"
#include "qev/base/parallel.h"
#include "qev/base/run_context.h"
#include "qev/base/sample_picture.h"
#include "qev/base/settings.h"
#include "qev/base/settings_string.h"
#include "qev/color/palette.h"
#include "qev/files/export_tables.h"
#include "qev/files/format_kru.h"
#include "qev/files/format_rom.h"
#include "qev/files/output_files.h"
#include "qev/files/palette_file.h"
#include "qev/files/png_io.h"
#include "qev/files/readerwriter.h"
#include "qev/msx/screen_dump.h"
#include "qev/msx/tile_budget.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

static const char g_szVersion[] = "3.4";
// The most inputs converted at the same time (--jobs).
static const int g_iMaxJobs = 64;

namespace
{
enum tdValueRule
{
    Rule_Enum,     // integer 0 .. count - 1, with texts
    Rule_Integer,  // integer iMin .. iMax
    Rule_Finite,   // any finite double
    Rule_Positive, // finite double > 0
    Rule_Fraction, // finite double 0 .. 1
};

struct tdOptionRule
{
    const char* pszOption;
    tdValueRule eRule;
    int iMin;
    int iMax;
    const char* const* ppszNames; // texts of Rule_Enum values
    const char* pszMeaning;
};
} // namespace

#define QEV_ENUM(names) Rule_Enum, 0, static_cast<int>(sizeof(names) / sizeof(names[0])) - 1, names
static const char* const g_apszFlagNames[2] = {"off", "on"};

// Allowed values of every settings option, in the order of g_aoSettingsOptions.
//  option   rule                                  meaning
static const tdOptionRule g_aoOptionRules[g_iSettingsOptionCount] = {
    {"-bc", Rule_Integer, 0, 255, nullptr,
     "border colour (palette index, or 8-bit colour in Screens 8 and 12)"},
    {"-bw", Rule_Finite, 0, 0, nullptr, "brightness weight of colour distances"},
    {"-ciar", Rule_Positive, 0, 0, nullptr, "custom input pixel aspect ratio"},
    {"-coar", Rule_Positive, 0, 0, nullptr, "custom output pixel aspect ratio"},
    {"-ct", QEV_ENUM(g_apszConversionTypeNames), "conversion type"},
    {"-df", QEV_ENUM(g_apszResizeFilterNames), "display filter (preview only)"},
    {"-dem", QEV_ENUM(g_apszDeltaMethodNames), "colour distance method"},
    {"-ed", Rule_Finite, 0, 0, nullptr, "error diffusion factor"},
    {"-fm", QEV_ENUM(g_apszFitModeNames), "fit mode"},
    {"-hs", Rule_Integer, -8192, 8192, nullptr, "horizontal shift in pixels"},
    {"-iart", QEV_ENUM(g_apszAspectRatioTypeNames), "input aspect ratio type"},
    {"-im", QEV_ENUM(g_apszFlagNames), "interlaced (424 lines)"},
    {"-mbs", Rule_Integer, 1, 58000, nullptr, "KRU block size"},
    {"-oart", QEV_ENUM(g_apszAspectRatioTypeNames), "output aspect ratio type"},
    {"-oh", Rule_Integer, 1, 8192, nullptr, "custom output height"},
    {"-ost", QEV_ENUM(g_apszOutputSizeTypeNames), "output size type"},
    {"-ow", Rule_Integer, 1, 8192, nullptr, "custom output width"},
    {"-pde", Rule_Finite, 0, 0, nullptr, "palette details enhancement"},
    {"-pt", QEV_ENUM(g_apszPaletteTypeNames), "palette type"},
    {"-r2y", QEV_ENUM(g_apszRGB2YJKMethodNames), "RGB to YJK method"},
    {"-rf", QEV_ENUM(g_apszResizeFilterNames), "resize filter"},
    {"-rm", QEV_ENUM(g_apszResourceModeNames), "resource mode"},
    {"-rps", Rule_Integer, 1, 16, nullptr, "resource palette size"},
    {"-rwp", QEV_ENUM(g_apszFlagNames), "write the palette in RES files"},
    {"-s10p", QEV_ENUM(g_apszFlagNames), "Screen 10 palette colours"},
    {"-s2de", Rule_Finite, 0, 0, nullptr, "Screen 2 and 4 details enhancement"},
    {"-sm", QEV_ENUM(g_apszScreenModeNames), "screen mode"},
    {"-y2r", QEV_ENUM(g_apszYJK2RGBInterpolationNames), "YJK to RGB interpolation"},
    {"-yde", Rule_Finite, 0, 0, nullptr, "YJK details enhancement"},
    {"-mra", QEV_ENUM(g_apszFlagNames), "real MSX aspect ratios"},
    {"-dim", QEV_ENUM(g_apszDitheringModeNames), "dithering mode"},
    {"-bf", Rule_Finite, 0, 0, nullptr, "Bayer dithering factor"},
    {"-blt", Rule_Fraction, 0, 0, nullptr, "Bayer low threshold (fraction of the range)"},
    {"-bht", Rule_Fraction, 0, 0, nullptr, "Bayer high threshold (fraction of the range)"},
    {"-tl", Rule_Integer, 0, 256, nullptr,
     "tiles per bank in Screens 2 and 4 (0 no limit; 1..255 per third, 256 with -tsb1)"},
    {"-tsb", QEV_ENUM(g_apszFlagNames), "one tile bank shared by the three thirds"},
};

#undef QEV_ENUM

static const tdOptionRule* poFindRule(const tdSettingsOption* poOption)
{
    for (const tdOptionRule& oRule : g_aoOptionRules)
        if (strcmp(oRule.pszOption, poOption->pszOption) == 0) return &oRule;
    return nullptr;
}

// "0..7: 0 Screen 2, 1 Screen 3, ..." or "1..58000" or "a finite number".
static std::string sAllowedValues(const tdOptionRule* poRule)
{
    char acText[64];
    switch (poRule->eRule)
    {
    case Rule_Enum:
    {
        std::string s;
        for (int i = poRule->iMin; i <= poRule->iMax; i++)
        {
            snprintf(acText, sizeof(acText), "%s%d \"%s\"", i > poRule->iMin ? ", " : "", i,
                     poRule->ppszNames[i]);
            s += acText;
        }
        return s;
    }
    case Rule_Integer:
        snprintf(acText, sizeof(acText), "an integer %d..%d", poRule->iMin, poRule->iMax);
        return acText;
    case Rule_Finite:
        return "a finite number";
    case Rule_Positive:
        return "a finite number above 0";
    default:
        return "a number 0..1";
    }
}

bool bCheckOptionArgument(const char* pszArgument, char* pszMessage, int iMessageSize)
{
    const tdSettingsOption* poOption = poFindSettingsOption(pszArgument);
    if (!poOption)
    {
        snprintf(pszMessage, static_cast<size_t>(iMessageSize), "unknown option %s", pszArgument);
        return false;
    }
    const tdOptionRule* poRule = poFindRule(poOption);
    const char* pszValue = pszArgument + strlen(poOption->pszOption);
    char* pszEnd = nullptr;
    errno = 0;
    bool bInteger = poRule->eRule == Rule_Enum || poRule->eRule == Rule_Integer;
    long lValue = 0;
    double fValue = 0.0;
    if (bInteger)
        lValue = strtol(pszValue, &pszEnd, 10);
    else
        fValue = strtod(pszValue, &pszEnd);
    if (*pszValue == '\0' || *pszEnd != '\0')
    {
        snprintf(pszMessage, static_cast<size_t>(iMessageSize), "option %s (%s): \"%s\" is not %s",
                 poOption->pszOption, poOption->pszField, pszValue, bInteger ? "an integer" : "a number");
        return false;
    }
    bool bOK;
    switch (poRule->eRule)
    {
    case Rule_Enum:
    case Rule_Integer:
        bOK = errno != ERANGE && lValue >= poRule->iMin && lValue <= poRule->iMax;
        break;
    case Rule_Finite:
        bOK = std::isfinite(fValue);
        break;
    case Rule_Positive:
        bOK = std::isfinite(fValue) && fValue > 0.0;
        break;
    default:
        bOK = std::isfinite(fValue) && fValue >= 0.0 && fValue <= 1.0;
        break;
    }
    if (!bOK)
    {
        snprintf(pszMessage, static_cast<size_t>(iMessageSize),
                 "option %s (%s): %s is out of range; allowed: %s", poOption->pszOption, poOption->pszField,
                 pszValue, sAllowedValues(poRule).c_str());
    }
    return bOK;
}

static void vPrintHelp(FILE* poOut)
{
    tdSettings oDefaults;
    vGetDefaultSettings(&oDefaults);
    fprintf(
        poOut,
        "qev %s: converts pictures into MSX2 and MSX2+ screen files.\n\n"
        "Usage: qev <input_file>... [options...] [-of<output_file>] [--outdir=<dir>] [--preview=<png_file>]\n"
        "           [--palette=<file>] [--jobs=<n>] [--slide-seconds=<n>]\n"
        "       qev --sample [options...] [-of<output_file>] [--preview=<png_file>] [--palette=<file>]\n\n"
        "Input: PNG (.png), JPEG (.jpg, .jpeg), QEV (.qev) and MSX screen dumps: SC (.sc2 .sc3 .sc4 .sc5\n"
        "  .sc6 .sc7 .sc8 .sca .scc), interlaced SC pairs (.sk5 ... .skc with .sl5 ... .slc), SR with their\n"
        "  palette files (.sr2 ... .src with .pl2 ... .plc), interlaced SR (.si5 ... .sic with .sj5 ... "
        ".sjc\n"
        "  and .pi5 ... .pic); GIF (first frame), BMP, TIFF, WebP, Targa (.tga), PNM (.pnm .pbm .pgm\n"
        "  .ppm), ICO, XPM, XBM. Colour profiles and EXIF orientation are applied. The extension chooses\n"
        "  the reader of PNG, JPEG, Targa and MSX files; the other formats, and files whose reader fails\n"
        "  or whose extension is unknown, go by their first bytes. A file that ends before the picture\n"
        "  its header declares is refused.\n"
        "  --sample converts the built-in sample picture. Several inputs are converted with the same\n"
        "  settings, several at a time (--jobs); lines, files and exit code are those of converting\n"
        "  them in turn.\n"
        "Retro-computer pictures, read first and with square pixels (the input aspect ratio is not "
        "applied):\n"
        "  ZX Spectrum .scr; C64 Koala .koa .kla, Doodle .dd, Art Studio .art .ocp; Atari ST Degas "
        ".pi1-.pi3,\n"
        "  .pc1-.pc3, NEOchrome .neo, Spectrum 512 .spu .spc, GEM .img .ximg; Amiga IFF .iff .ilbm .lbm;\n"
        "  PC Paintbrush .pcx; MacPaint .mac .pntg; MSX BSAVE dumps .grp (Screen 2), .ge5 .ge6 .ge7 .ge8.\n"
        "Options are applied in order, later ones win; each is its text followed directly by its value\n"
        "(-sm2, -ed0.75), compared without regard to case.\n\n"
        "  -of<output_file>  output name (one input only; with -ct8 the one ROM of all inputs); the\n"
        "                    extension of the conversion type is\n"
        "                    appended; RAW output (-ct5) is written to exactly this name\n"
        "                    (default: the input's name without its last extension, .raw for RAW)\n"
        "  --outdir=<dir>    write the outputs into this folder, named after their inputs\n"
        "  --preview=<png>   also write the converted picture, as the window's preview shows it, as PNG\n"
        "  --palette=<file>  loads the custom palette (used with -pt1) from a GIMP palette\n"
        "                    file (.gpl) or a binary file of palette-register words\n"
        "  --export=<kind>   instead of the conversion type's file, the video-memory tables, one\n"
        "                    file each named after the output (pic.pat pic.col pic.nam pic.pal;\n"
        "                    bitmaps pic.pix pic.pal): bin (the bytes), c (pic.pat.h), asm (pic.pat.asm)\n"
        "  --bload           with --export=bin: a BSAVE header for the table's VRAM address\n"
        "  --pack            tables compressed as one KRU block each (the player's kru_unpack)\n"
        "  --slide-seconds=<n>  with -ct8 and several pictures in one ROM: it shows the next one\n"
        "                    after n seconds, 1..255 (default: only on the space bar)\n"
        "  --jobs=<n>        inputs converted at the same time, 1..%d (default: one per processor);\n"
        "                    --jobs=1 converts them one after the other\n"
        "  --help            this text\n"
        "  --version         the version\n\n",
        g_szVersion, g_iMaxJobs);
    fprintf(poOut, "  %-6s %-26s %-7s %-10s %s\n", "option", "settings field", "type", "default",
            "allowed values");
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
    {
        const tdOptionRule* poRule = poFindRule(&oOption);
        char acDefault[32];
        double fDefault = fGetOptionValue(&oDefaults, &oOption);
        snprintf(acDefault, sizeof(acDefault), oOption.eType == OptionType_Double ? "%lg" : "%.0f", fDefault);
        const char* pszType = oOption.eType == OptionType_Double ? "double"
                              : poRule->eRule == Rule_Enum       ? "enum"
                                                                 : "integer";
        fprintf(poOut, "  %-6s %-26s %-7s %-10s %s\n", oOption.pszOption, oOption.pszField, pszType,
                acDefault, poRule->pszMeaning);
        fprintf(poOut, "  %-6s %-26s %-7s %-10s   %s\n", "", "", "", "", sAllowedValues(poRule).c_str());
    }
    fprintf(poOut,
            "\nOn success qev prints one line per input: the output name and the conversion error per\n"
            "channel as R=... G=... B=... (zeros for PNG output). Exit codes: 0 success, 1 an input\n"
            "could not be read or an output not written, 2 a usage error.\n");
}

// Reads the integer value of a "--name=" option: true with *piValue set when the
// whole text is an integer iMin..iMax, else false after a message naming the option.
static bool bIntegerOption(const char* pszName, const char* pszValue, int iMin, int iMax, FILE* poErr,
                           int* piValue)
{
    char* pszEnd = nullptr;
    errno = 0;
    const long lValue = strtol(pszValue, &pszEnd, 10);
    if (!*pszValue || *pszEnd || errno == ERANGE || lValue < iMin || lValue > iMax)
    {
        fprintf(poErr, "qev: option %s: \"%s\" is out of range; allowed: an integer %d..%d\n", pszName,
                pszValue, iMin, iMax);
        return false;
    }
    *piValue = static_cast<int>(lValue);
    return true;
}

// The input's name without its last extension (the "." after the last "/").
static std::string sDefaultOutputName(const char* pszInput)
{
    std::string s = pszInput;
    size_t uiSlash = s.rfind('/');
    size_t uiDot = s.rfind('.');
    if (uiDot != std::string::npos && (uiSlash == std::string::npos || uiDot > uiSlash)) s.resize(uiDot);
    return s;
}

// Loads the custom palette of the settings from a .gpl or binary palette file.
// Returns false with a message naming the file when it cannot be read or holds
// no colour.
static bool bLoadCustomPalette(const char* pszFile, tdSettings* poSettings, FILE* poErr)
{
    FILE* poFile = fopen(pszFile, "rb");
    if (!poFile)
    {
        fprintf(poErr, "qev: --palette: cannot read palette file %s: %s\n", pszFile, strerror(errno));
        return false;
    }
    fclose(poFile);
    Palette oPalette;
    oPalette.m_uiColorCount = 0;
    vLoadPaletteFile(&oPalette, pszFile);
    if (oPalette.m_uiColorCount == 0)
    {
        fprintf(poErr, "qev: --palette: palette file %s holds no colour\n", pszFile);
        return false;
    }
    memcpy(poSettings->CustomPalette, oPalette.m_aoColors, sizeof(poSettings->CustomPalette));
    return true;
}

static bool bSameFile(const char* pszFirst, const char* pszSecond)
{
    struct stat oFirst;
    struct stat oSecond;
    if (stat(pszFirst, &oFirst) != 0 || stat(pszSecond, &oSecond) != 0) return false;
    return oFirst.st_dev == oSecond.st_dev && oFirst.st_ino == oSecond.st_ino;
}

namespace
{
// One conversion job: where the picture comes from and where its files go.
struct tdJob
{
    const char* pszInput; // null for the built-in sample
    std::string sOutput;  // the name handed to the writer (extension appended there)
};

// What applies to every job of a run.
struct tdRun
{
    tdSettings oSettings;
    const char* pszPreview; // PNG of the converted picture, or null
    int iThreads;           // threads of one conversion (tdRunContext::m_iThreads)
    const char* pszExport;  // "bin", "c" or "asm": the video-memory tables instead of a file; or null
    bool bBLoad;            // bin tables with a BSAVE header
    bool bPack;             // tables compressed as one KRU block each
    FILE* poOut;
    FILE* poErr;
};
} // namespace

// The name of the main file a job writes (RAW: the output name itself).
static std::string sMainFileName(const tdJob* poJob, const tdSettings* poSettings)
{
    if (poSettings->ConversionType == ConversionType_RAW) return poJob->sOutput;
    std::unique_ptr<char, decltype(&free)> psz(szGetOutputFileName(poJob->sOutput.c_str(), poSettings), free);
    return psz ? psz.get() : poJob->sOutput;
}

// Every file the job writes: the main output and its companion files.
static std::vector<std::string> asOutputFileNames(const tdJob* poJob, const tdSettings* poSettings)
{
    std::vector<std::string> asNames = {sMainFileName(poJob, poSettings)};
    char* apszCompanions[2] = {nullptr, nullptr};
    int iCount = iGetCompanionFileNames(asNames[0].c_str(), poSettings, apszCompanions);
    for (int i = 0; i < iCount; i++)
    {
        asNames.push_back(apszCompanions[i]);
        free(apszCompanions[i]);
    }
    return asNames;
}

// Reads the job's picture: the sample, or the file through the retro decoders first
// and then the program's own readers, as the desktop program's drop handler does.
static Image* poLoadInput(const tdJob* poJob, const tdRun* poRun)
{
    if (!poJob->pszInput)
    {
        Image* poImage = poCreateSamplePicture();
        vApplyInputAspectRatio(poImage, &poRun->oSettings);
        return poImage;
    }
    const char* pszInput = poJob->pszInput;
    fflush(poRun->poOut);
    std::string sError;
    Image* poImage = poReadPicture(pszInput, &poRun->oSettings, &sError);
    if (!poImage)
    {
        if (sError == "unknown file type")
            sError += " (readable: the picture and retro formats of qev --help)";
        fprintf(poRun->poErr, "\nqev: cannot read %s: %s\n", pszInput, sError.c_str());
    }
    return poImage;
}

// Writes the converted picture as a PNG at its own size.
static void vQueuePreview(const Image* poConverted, const char* pszName, tdOutputFiles* poFiles)
{
    tdSettings oPNG;
    vGetDefaultSettings(&oPNG);
    oPNG.ConversionType = ConversionType_PNG;
    oPNG.OutputSizeType = OutputSize_Original;
    FILE* poFile = poOpenPendingFile(poFiles, pszName, "wb");
    if (!poFile) return;
    oWriteImageToPNGFile(poConverted, &oPNG, poFile, nullptr);
    vClosePendingFile(poFiles, poFile);
}

// A progress line on the error stream while a conversion runs longer than a
// second, when that stream is a terminal: "qev: converting <name>: 42%", written
// over itself and erased at the end. The core calls it from its threads.
namespace
{
struct tdProgressLine
{
    FILE* poErr;
    const char* pszName;
    bool bTerminal;
    std::chrono::steady_clock::time_point oStart;
    std::mutex oLock;
    int iShown = -1; // percentage on the line, -1 while none is written

    bool bReport(double fDone)
    {
        if (!bTerminal || std::chrono::steady_clock::now() - oStart < std::chrono::seconds(1)) return true;
        const int iPercent = static_cast<int>(fDone * 100.0);
        std::lock_guard<std::mutex> oGuard(oLock);
        if (iPercent == iShown) return true;
        iShown = iPercent;
        fprintf(poErr, "\rqev: converting %s: %3d%%", pszName, iPercent);
        fflush(poErr);
        return true;
    }

    void vErase()
    {
        if (iShown < 0) return;
        fprintf(poErr, "\r\033[K");
        fflush(poErr);
    }
};
} // namespace

// Starts the progress line of a job's conversion and points the run context at
// it; the line must outlive the run.
static void vStartProgress(tdProgressLine* poLine, tdRunContext* poContext, const tdJob* poJob,
                           const tdRun* poRun)
{
    poLine->poErr = poRun->poErr;
    poLine->pszName = poJob->pszInput ? poJob->pszInput : "the sample picture";
    poLine->bTerminal = isatty(fileno(poRun->poErr)) != 0;
    poLine->oStart = std::chrono::steady_clock::now();
    poContext->m_fnProgress = [poLine](double fDone) { return poLine->bReport(fDone); };
    poContext->m_iThreads = poRun->iThreads;
}

// " tiles=A/B/C" (distinct tiles of each third) or " tiles=N shared" after the
// error triple of a pattern-screen picture; empty for the other screens.
static std::string sTileCounts(const tdSettings* poSettings, const Image* poPainted)
{
    const std::string s = sDescribeTiles(poPainted, poSettings);
    return s.empty() ? s : " tiles=" + s;
}

// The files --export writes for a job: the output name, ".", the table, and for C
// and assembler source ".h" or ".asm" ("pic.pat", "pic.pat.h").
static std::string sExportFileName(const tdJob* poJob, const tdRun* poRun, const std::string& sTable)
{
    const std::string sBase = poJob->sOutput + "." + sTable;
    if (strcmp(poRun->pszExport, "c") == 0) return sBase + ".h";
    if (strcmp(poRun->pszExport, "asm") == 0) return sBase + ".asm";
    return sBase;
}

// Writes the video-memory tables of the job's picture (--export) as one set of
// files. Returns true when every file was written.
static bool bRunExportJob(const tdJob* poJob, const tdRun* poRun, const Image* poImage)
{
    std::vector<tdExportTable> aoTables;
    tdProgressLine oProgress;
    tdRunContext oContext;
    vStartProgress(&oProgress, &oContext, poJob, poRun);
    Image* poPainted = nullptr;
    const tdErrorTriple oError =
        oBuildExportTables(poImage, &poRun->oSettings, &aoTables, &oContext, &poPainted);
    std::unique_ptr<Image> poKeepPainted(poPainted);
    oProgress.vErase();
    tdOutputFiles oFiles;
    std::string sFirst;
    for (const tdExportTable& oTable : aoTables)
    {
        const std::string sName = sExportFileName(poJob, poRun, oTable.sName);
        if (sFirst.empty()) sFirst = sName;
        const std::vector<unsigned char> aucBytes =
            poRun->bPack ? aucPackTable(oTable.aucBytes) : oTable.aucBytes;
        std::string sText;
        tdByteArray oHeader;
        char acNote[160];
        snprintf(acNote, sizeof(acNote), "%s: %s %s of %s, VRAM %05X, %zu bytes%s (qev %s)", sName.c_str(),
                 g_apszScreenModeNames[poRun->oSettings.ScreenMode], oTable.sName.c_str(),
                 poJob->pszInput ? poJob->pszInput : "the sample picture", oTable.uiVRAM,
                 oTable.aucBytes.size(), poRun->bPack ? ", packed as one KRU block" : "", g_szVersion);
        const std::string sSymbol = sSymbolFromName(poJob->sOutput) + "_" + oTable.sName;
        if (strcmp(poRun->pszExport, "c") == 0)
            sText = sTableAsC(sSymbol, oTable, aucBytes, acNote);
        else if (strcmp(poRun->pszExport, "asm") == 0)
            sText = sTableAsAsm(sSymbol, oTable, aucBytes, acNote);
        else if (poRun->bBLoad)
            vAppendBSAVEHeader(&oHeader, static_cast<int>(oTable.uiVRAM),
                               static_cast<int>(oTable.uiVRAM + aucBytes.size()) - 1);
        FILE* poFile = poOpenPendingFile(&oFiles, sName.c_str(), "wb");
        if (!poFile)
        {
            fprintf(poRun->poErr, "qev: cannot create %s (is its folder there and writable?)\n",
                    sName.c_str());
            vDiscardOutputFiles(&oFiles);
            return false;
        }
        // An empty array's data may be null, which fwrite must not be given.
        if (oHeader.m_iSize > 0) fwrite(oHeader.m_pucData, 1, static_cast<size_t>(oHeader.m_iSize), poFile);
        if (!sText.empty())
            fwrite(sText.data(), 1, sText.size(), poFile);
        else if (!aucBytes.empty())
            fwrite(aucBytes.data(), 1, aucBytes.size(), poFile);
        vClosePendingFile(&oFiles, poFile);
    }
    std::string sProblem;
    if (aoTables.empty() || !bCommitOutputFiles(&oFiles, &sProblem))
    {
        fprintf(poRun->poErr, "\nqev: cannot write %s: %s\n",
                sFirst.empty() ? poJob->sOutput.c_str() : sFirst.c_str(),
                aoTables.empty() ? "no video memory to export" : sProblem.c_str());
        return false;
    }
    fprintf(poRun->poOut, "%s R=%.3f G=%.3f B=%.3f%s\n", sFirst.c_str(), oError.fRed, oError.fGreen,
            oError.fBlue, sTileCounts(&poRun->oSettings, poPainted).c_str());
    return true;
}

// Converts one job. Returns true when every file was written.
static bool bRunJob(const tdJob* poJob, const tdRun* poRun)
{
    const tdSettings* poSettings = &poRun->oSettings;
    const std::string sMain = sMainFileName(poJob, poSettings);
    std::unique_ptr<Image> poImage(poLoadInput(poJob, poRun));
    if (!poImage) return false;
    if (poRun->pszExport) return bRunExportJob(poJob, poRun, poImage.get());

    tdOutputFiles oFiles;
    FILE* poRaw = nullptr;
    if (poSettings->ConversionType == ConversionType_RAW)
    {
        // RAW output has no name of its own: the tool opens the output name for it.
        poRaw = poOpenPendingFile(&oFiles, sMain.c_str(), "wb");
        if (!poRaw)
        {
            fprintf(poRun->poErr, "qev: cannot create %s (is its folder there and writable?)\n",
                    sMain.c_str());
            return false;
        }
    }
    Image* poConverted = nullptr;
    tdProgressLine oProgress;
    tdRunContext oContext;
    vStartProgress(&oProgress, &oContext, poJob, poRun);
    tdErrorTriple oError = oWriteImageToFile(poImage.get(), poJob->sOutput.c_str(), poSettings, &oFiles,
                                             poRaw, &poConverted, &oContext);
    oProgress.vErase();
    std::unique_ptr<Image> poKeep(poConverted);
    if (poRaw) vClosePendingFile(&oFiles, poRaw);
    if (oFiles.aoFiles.empty())
    {
        fprintf(poRun->poErr, "qev: cannot create %s (is its folder there and writable?)\n", sMain.c_str());
        return false;
    }
    if (poRun->pszPreview && poConverted) vQueuePreview(poConverted, poRun->pszPreview, &oFiles);
    std::string sProblem;
    if (!bCommitOutputFiles(&oFiles, &sProblem))
    {
        fprintf(poRun->poErr, "\nqev: cannot write %s: %s\n", sMain.c_str(), sProblem.c_str());
        return false;
    }
    fprintf(poRun->poOut, "%s R=%.3f G=%.3f B=%.3f%s\n", sMain.c_str(), oError.fRed, oError.fGreen,
            oError.fBlue, sTileCounts(poSettings, poConverted).c_str());
    return true;
}

// Converts every job into one cartridge ROM (conversion type ROM with -of and
// several inputs), the pictures in input order, and writes it as sOutput (the
// extension appended). Inputs that cannot be read are reported and left out.
// Prints one line per picture in the ROM. Returns true when every input went in
// and the ROM was written; a set that does not fit writes nothing.
static bool bRunROMSet(const std::vector<tdJob>& aoJobs, const std::string& sOutput, int iSlideSeconds,
                       const tdRun* poRun)
{
    const tdSettings* poSettings = &poRun->oSettings;
    const tdJob oNamed = {nullptr, sOutput};
    const std::string sMain = sMainFileName(&oNamed, poSettings);
    std::vector<std::unique_ptr<tdByteArray>> apoRecords;
    std::vector<tdErrorTriple> aoErrors;
    bool bAllRead = true;
    for (const tdJob& oJob : aoJobs)
    {
        std::unique_ptr<Image> poImage(poLoadInput(&oJob, poRun));
        if (!poImage)
        {
            bAllRead = false;
            continue;
        }
        tdProgressLine oProgress;
        tdRunContext oContext;
        vStartProgress(&oProgress, &oContext, &oJob, poRun);
        std::unique_ptr<tdByteArray> poRecord(new tdByteArray);
        bool bBuilt = true;
        const tdErrorTriple oError =
            oBuildKRURecordOfImage(poImage.get(), poSettings, poRecord.get(), nullptr, nullptr,
                                   CompressionType_None, &oContext, &bBuilt);
        oProgress.vErase();
        if (!bBuilt)
        {
            fprintf(poRun->poErr, "qev: cannot write %s: no picture record for %s\n", sMain.c_str(),
                    oProgress.pszName);
            return false;
        }
        apoRecords.push_back(std::move(poRecord));
        aoErrors.push_back(oError);
    }
    if (apoRecords.empty())
    {
        fprintf(poRun->poErr, "qev: %s not written: no input could be read\n", sMain.c_str());
        return false;
    }
    std::vector<const tdByteArray*> apoList;
    for (const std::unique_ptr<tdByteArray>& po : apoRecords)
        apoList.push_back(po.get());
    tdByteArray oROM;
    std::string sProblem;
    if (!bBuildROM(apoList, iSlideSeconds, &oROM, &sProblem))
    {
        fprintf(poRun->poErr, "qev: %s not written: %s\n", sMain.c_str(), sProblem.c_str());
        return false;
    }
    tdOutputFiles oFiles;
    FILE* poFile = poOpenPendingFile(&oFiles, sMain.c_str(), "wb");
    if (!poFile)
    {
        fprintf(poRun->poErr, "qev: cannot create %s (is its folder there and writable?)\n", sMain.c_str());
        return false;
    }
    fwrite(oROM.m_pucData, 1, static_cast<size_t>(oROM.m_iSize), poFile);
    vClosePendingFile(&oFiles, poFile);
    if (!bCommitOutputFiles(&oFiles, &sProblem))
    {
        fprintf(poRun->poErr, "\nqev: cannot write %s: %s\n", sMain.c_str(), sProblem.c_str());
        return false;
    }
    for (const tdErrorTriple& oError : aoErrors)
        fprintf(poRun->poOut, "%s R=%.3f G=%.3f B=%.3f\n", sMain.c_str(), oError.fRed, oError.fGreen,
                oError.fBlue);
    return bAllRead;
}

// The output name of an input in --outdir: the folder, then the input's name
// without its folder and last extension.
static std::string sOutputInFolder(const std::string& sFolder, const char* pszInput)
{
    std::string sBase = sDefaultOutputName(pszInput);
    size_t uiSlash = sBase.rfind('/');
    if (uiSlash != std::string::npos) sBase.erase(0, uiSlash + 1);
    if (sFolder.empty() || sFolder.back() == '/') return sFolder + sBase;
    return sFolder + "/" + sBase;
}

// The folder part of a name made absolute when the folder exists, so that two
// spellings of one output file compare equal.
static std::string sFileKey(const std::string& sName)
{
    size_t uiSlash = sName.rfind('/');
    std::string sFolder = uiSlash == std::string::npos ? "." : sName.substr(0, uiSlash + 1);
    std::string sBase = uiSlash == std::string::npos ? sName : sName.substr(uiSlash + 1);
    std::unique_ptr<char, decltype(&free)> psz(realpath(sFolder.c_str(), nullptr), free);
    return (psz ? std::string(psz.get()) : sFolder) + "/" + sBase;
}

// Everything a file holds, from its start; empty when it cannot be read.
static std::string sFileText(FILE* poFile)
{
    std::string s;
    if (!poFile || fseek(poFile, 0, SEEK_SET) != 0) return s;
    char ac[4096];
    size_t ui;
    while ((ui = fread(ac, 1, sizeof(ac), poFile)) > 0)
        s.append(ac, ui);
    return s;
}

namespace
{
// A job run in a process of its own: its printed output waits in two unnamed
// temporary files until the jobs before it have printed theirs.
struct tdChild
{
    pid_t iPid = 0; // 0: not started
    bool bDone = false;
    bool bOK = false;
    FILE* poOut = nullptr;
    FILE* poErr = nullptr;
    std::vector<size_t> auiAfter; // jobs that write one of its files, to finish first
};
} // namespace

// Runs the jobs iJobs at a time, each in a child process (the core keeps state
// per process, such as the KRU compressor's tables, so processes rather than
// threads). A child's standard output and error go to its temporary files; they
// are copied out in input order, standard error first as a job prints its
// messages before its result line. A job that writes a file an earlier job also
// writes (two inputs appending to one KRU file) starts after it. Returns true when
// every job succeeded.
static bool bRunJobsInParallel(const std::vector<tdJob>& aoJobs, const tdRun* poRun, int iJobs)
{
    std::vector<tdChild> aoChildren(aoJobs.size());
    std::vector<std::vector<std::string>> aasKeys(aoJobs.size());
    for (size_t i = 0; i < aoJobs.size(); i++)
    {
        for (const std::string& sName : asOutputFileNames(&aoJobs[i], &poRun->oSettings))
            aasKeys[i].push_back(sFileKey(sName));
        for (size_t j = 0; j < i; j++)
            for (const std::string& sKey : aasKeys[i])
                if (std::find(aasKeys[j].begin(), aasKeys[j].end(), sKey) != aasKeys[j].end())
                {
                    aoChildren[i].auiAfter.push_back(j);
                    break;
                }
    }

    bool bAllOK = true;
    bool bNoFork = false;
    size_t uiPrinted = 0;
    int iRunning = 0;
    while (uiPrinted < aoJobs.size())
    {
        // Start what may start, in input order.
        for (size_t i = 0; i < aoJobs.size() && iRunning < iJobs; i++)
        {
            tdChild& oChild = aoChildren[i];
            if (oChild.iPid != 0 || oChild.bDone) continue;
            bool bReady = true;
            for (size_t j : oChild.auiAfter)
                bReady = bReady && aoChildren[j].bDone;
            if (!bReady) continue;
            if (bNoFork)
            {
                // No process to spare: the job runs here once every earlier job has
                // printed, so the order stays.
                if (iRunning > 0 || i != uiPrinted) break;
                oChild.bOK = bRunJob(&aoJobs[i], poRun);
                oChild.bDone = true;
                oChild.iPid = -1;
                break;
            }
            oChild.poOut = tmpfile();
            oChild.poErr = tmpfile();
            fflush(poRun->poOut);
            fflush(poRun->poErr);
            fflush(stdout);
            fflush(stderr);
            pid_t iPid = (oChild.poOut && oChild.poErr) ? fork() : -1;
            if (iPid == 0)
            {
                // The child: every message of the tool and the core lands in the files.
                dup2(fileno(oChild.poOut), STDOUT_FILENO);
                dup2(fileno(oChild.poErr), STDERR_FILENO);
                // The jobs already share the processors: one thread each.
                tdRun oRun = *poRun;
                oRun.iThreads = 1;
                oRun.poOut = stdout;
                oRun.poErr = stderr;
                bool bOK = bRunJob(&aoJobs[i], &oRun);
                fflush(stdout);
                fflush(stderr);
                _exit(bOK ? 0 : 1);
            }
            if (iPid < 0)
            {
                if (oChild.poOut) fclose(oChild.poOut);
                if (oChild.poErr) fclose(oChild.poErr);
                oChild.poOut = oChild.poErr = nullptr;
                bNoFork = true;
                break;
            }
            oChild.iPid = iPid;
            iRunning++;
        }

        // Print every finished job whose turn it is.
        while (uiPrinted < aoJobs.size() && aoChildren[uiPrinted].bDone)
        {
            tdChild& oChild = aoChildren[uiPrinted];
            if (oChild.iPid > 0)
            {
                const std::string sErr = sFileText(oChild.poErr);
                const std::string sOut = sFileText(oChild.poOut);
                fwrite(sErr.data(), 1, sErr.size(), poRun->poErr);
                fflush(poRun->poErr);
                fwrite(sOut.data(), 1, sOut.size(), poRun->poOut);
                fflush(poRun->poOut);
            }
            if (oChild.poOut) fclose(oChild.poOut);
            if (oChild.poErr) fclose(oChild.poErr);
            oChild.poOut = oChild.poErr = nullptr;
            bAllOK = bAllOK && oChild.bOK;
            uiPrinted++;
        }
        if (iRunning == 0) continue;

        int iStatus = 0;
        pid_t iPid = waitpid(-1, &iStatus, 0);
        if (iPid < 0) break; // no child left to wait for: cannot happen while one runs
        for (tdChild& oChild : aoChildren)
            if (oChild.iPid == iPid && !oChild.bDone)
            {
                oChild.bDone = true;
                oChild.bOK = WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0;
                if (!WIFEXITED(iStatus))
                    fprintf(oChild.poErr, "qev: converting %s stopped unexpectedly\n",
                            aoJobs[static_cast<size_t>(&oChild - aoChildren.data())].pszInput);
                iRunning--;
            }
    }
    return bAllOK && uiPrinted == aoJobs.size();
}

int iRunQEV(int iArgc, const char* const* ppszArgv, FILE* poOut, FILE* poErr)
{
    tdRun oRun;
    vGetDefaultSettings(&oRun.oSettings);
    oRun.pszPreview = nullptr;
    oRun.iThreads = 0;
    oRun.pszExport = nullptr;
    oRun.bBLoad = false;
    oRun.bPack = false;
    oRun.poOut = poOut;
    oRun.poErr = poErr;
    std::vector<const char*> apszInputs;
    const char* pszOutput = nullptr;
    const char* pszFolder = nullptr;
    bool bSample = false;
    int iJobs = iDefaultWorkerCount();
    int iSlideSeconds = 0;
    char acMessage[1024];

    for (int i = 1; i < iArgc; i++)
    {
        const char* pszArgument = ppszArgv[i];
        if (strcmp(pszArgument, "--help") == 0 || strcmp(pszArgument, "-h") == 0)
        {
            vPrintHelp(poOut);
            return Exit_Success;
        }
        if (strcmp(pszArgument, "--version") == 0)
        {
            fprintf(poOut, "%s\n", g_szVersion);
            return Exit_Success;
        }
        if (strcmp(pszArgument, "--sample") == 0)
        {
            bSample = true;
            continue;
        }
        if (strncmp(pszArgument, "--palette=", 10) == 0)
        {
            if (!bLoadCustomPalette(pszArgument + 10, &oRun.oSettings, poErr)) return Exit_Usage;
            continue;
        }
        if (strncmp(pszArgument, "--jobs=", 7) == 0)
        {
            if (!bIntegerOption("--jobs", pszArgument + 7, 1, g_iMaxJobs, poErr, &iJobs)) return Exit_Usage;
            continue;
        }
        if (strncmp(pszArgument, "--export=", 9) == 0)
        {
            const char* pszValue = pszArgument + 9;
            if (strcmp(pszValue, "bin") != 0 && strcmp(pszValue, "c") != 0 && strcmp(pszValue, "asm") != 0)
            {
                fprintf(poErr, "qev: option --export: \"%s\" is not one of bin, c, asm\n", pszValue);
                return Exit_Usage;
            }
            oRun.pszExport = pszValue;
            continue;
        }
        if (strcmp(pszArgument, "--bload") == 0 || strcmp(pszArgument, "--pack") == 0)
        {
            (pszArgument[2] == 'b' ? oRun.bBLoad : oRun.bPack) = true;
            continue;
        }
        if (strncmp(pszArgument, "--slide-seconds=", 16) == 0)
        {
            if (!bIntegerOption("--slide-seconds", pszArgument + 16, 1, g_iROMMaxSlideSeconds, poErr,
                                &iSlideSeconds))
                return Exit_Usage;
            continue;
        }
        if (strncmp(pszArgument, "--outdir=", 9) == 0 || strncmp(pszArgument, "--preview=", 10) == 0)
        {
            const bool bFolder = pszArgument[2] == 'o';
            const char* pszValue = pszArgument + (bFolder ? 9 : 10);
            if (!*pszValue)
            {
                fprintf(poErr, "qev: option %.*s needs a name\n", bFolder ? 8 : 9, pszArgument);
                return Exit_Usage;
            }
            (bFolder ? pszFolder : oRun.pszPreview) = pszValue;
            continue;
        }
        if (strncasecmp(pszArgument, "-of", 3) == 0)
        {
            if (pszArgument[3] == '\0')
            {
                fprintf(poErr, "qev: option -of needs a file name, as in -ofpicture\n");
                return Exit_Usage;
            }
            pszOutput = pszArgument + 3;
            continue;
        }
        if (pszArgument[0] == '-' && pszArgument[1] != '\0')
        {
            if (!poFindSettingsOption(pszArgument))
            {
                fprintf(poErr, "qev: unknown argument %s (qev --help lists the options)\n", pszArgument);
                return Exit_Usage;
            }
            if (!bCheckOptionArgument(pszArgument, acMessage, sizeof(acMessage)))
            {
                fprintf(poErr, "qev: %s\n", acMessage);
                return Exit_Usage;
            }
            bGetSettingsFromString(&oRun.oSettings, pszArgument);
            continue;
        }
        apszInputs.push_back(pszArgument);
    }

    if (apszInputs.empty() && !bSample)
    {
        fprintf(poErr,
                "qev: no input file given\nUsage: qev <input_file>... [options...] [-of<output_file>]\n");
        return Exit_Usage;
    }
    if (!apszInputs.empty() && bSample)
    {
        fprintf(poErr, "qev: give either input files or --sample, not both\n");
        return Exit_Usage;
    }
    // A cartridge holds several pictures: -of names the one ROM of them all.
    const bool bROMSet = oRun.oSettings.ConversionType == ConversionType_ROM && pszOutput;
    if (apszInputs.size() > 1 && pszOutput && !bROMSet)
    {
        fprintf(poErr, "qev: option -of names one output: it cannot be used with %zu inputs (use --outdir)\n",
                apszInputs.size());
        return Exit_Usage;
    }
    if (apszInputs.size() > 1 && oRun.pszPreview)
    {
        fprintf(poErr, "qev: option --preview names one picture: it cannot be used with %zu inputs\n",
                apszInputs.size());
        return Exit_Usage;
    }

    if (oRun.oSettings.TileLimit > g_iMaxTilesPerThird && !oRun.oSettings.TileSharedBank)
    {
        fprintf(poErr,
                "qev: option -tl: a third holds at most %d tiles of its own; %d need a shared bank (-tsb1)\n",
                g_iMaxTilesPerThird, oRun.oSettings.TileLimit);
        return Exit_Usage;
    }
    if ((oRun.bBLoad || oRun.bPack) && !oRun.pszExport)
    {
        fprintf(poErr, "qev: option %s needs --export\n", oRun.bBLoad ? "--bload" : "--pack");
        return Exit_Usage;
    }
    if (oRun.bBLoad && (oRun.bPack || strcmp(oRun.pszExport, "bin") != 0))
    {
        fprintf(poErr, "qev: option --bload goes with --export=bin and unpacked tables only\n");
        return Exit_Usage;
    }

    std::vector<tdJob> aoJobs;
    if (bSample)
        aoJobs.push_back(
            {nullptr, pszOutput ? pszOutput : (pszFolder ? sOutputInFolder(pszFolder, "sample") : "sample")});
    for (const char* pszInput : apszInputs)
    {
        std::string sName = pszOutput   ? pszOutput
                            : pszFolder ? sOutputInFolder(pszFolder, pszInput)
                                        : sDefaultOutputName(pszInput);
        // RAW output has no extension of its own: a default name gets ".raw".
        if (!pszOutput && oRun.oSettings.ConversionType == ConversionType_RAW) sName += ".raw";
        aoJobs.push_back({pszInput, sName});
    }
    if (bSample && !pszOutput && oRun.oSettings.ConversionType == ConversionType_RAW)
        aoJobs[0].sOutput += ".raw";

    // An output (main or companion file) that would replace any input of the run is
    // refused before anything is written.
    for (const tdJob& oJob : aoJobs)
    {
        const std::vector<std::string> asOutputs = asOutputFileNames(&oJob, &oRun.oSettings);
        for (const std::string& sOutput : asOutputs)
            for (const tdJob& oInput : aoJobs)
                if (oInput.pszInput && bSameFile(oInput.pszInput, sOutput.c_str()))
                {
                    fprintf(poErr,
                            "qev: the output %s would replace the input %s; choose another name with -of or "
                            "--outdir\n",
                            sOutput.c_str(), oInput.pszInput);
                    return Exit_Usage;
                }
    }

    if (bROMSet)
    {
        const tdJob oNamed = {nullptr, pszOutput};
        const std::string sMain = sMainFileName(&oNamed, &oRun.oSettings);
        for (const tdJob& oInput : aoJobs)
            if (oInput.pszInput && bSameFile(oInput.pszInput, sMain.c_str()))
            {
                fprintf(poErr,
                        "qev: the output %s would replace the input %s; choose another name with -of\n",
                        sMain.c_str(), oInput.pszInput);
                return Exit_Usage;
            }
        return bRunROMSet(aoJobs, pszOutput, iSlideSeconds, &oRun) ? Exit_Success : Exit_Failure;
    }
    if (iJobs > 1 && aoJobs.size() > 1)
        return bRunJobsInParallel(aoJobs, &oRun, iJobs) ? Exit_Success : Exit_Failure;
    int iExit = Exit_Success;
    for (const tdJob& oJob : aoJobs)
        if (!bRunJob(&oJob, &oRun)) iExit = Exit_Failure;
    return iExit;
}
