#include "input/qt_reader_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace
{
struct tdLoadedReader
{
    tdQtPictureReader pfnRead;
    std::string sError; // why pfnRead is null
};
} // namespace

static tdLoadedReader oLoadReader()
{
    tdLoadedReader oLoaded = {nullptr, "the Qt picture reader (libqevqtreader.so) was not found"};
    char acProgram[PATH_MAX];
    const ssize_t lLength = readlink("/proc/self/exe", acProgram, sizeof(acProgram) - 1);
    if (lLength <= 0) return oLoaded;
    std::string sFolder(acProgram, static_cast<size_t>(lLength));
    sFolder.erase(sFolder.rfind('/') + 1);
    // Beside the program, in an installation's lib/qev, or where the build put it.
    for (const std::string& sModule :
         {sFolder + "libqevqtreader.so", sFolder + "../lib/qev/libqevqtreader.so",
          std::string(QEV_QT_READER_BUILT_AT)})
    {
        if (access(sModule.c_str(), R_OK) != 0) continue;
        // Never closed: the reader stays for the life of the process.
        void* pModule = dlopen(sModule.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!pModule)
        {
            const char* pszWhy = dlerror();
            oLoaded.sError =
                "the Qt picture reader could not be loaded: " + std::string(pszWhy ? pszWhy : "");
            return oLoaded;
        }
        oLoaded.pfnRead = reinterpret_cast<tdQtPictureReader>(dlsym(pModule, QEV_QT_READER_SYMBOL));
        if (!oLoaded.pfnRead) oLoaded.sError = "the Qt picture reader module lacks its entry point";
        return oLoaded;
    }
    return oLoaded;
}

tdQtPictureReader pfnGetQtPictureReader(std::string* psError)
{
    static const tdLoadedReader g_oLoaded = oLoadReader();
    if (!g_oLoaded.pfnRead && psError) *psError = g_oLoaded.sError;
    return g_oLoaded.pfnRead;
}
