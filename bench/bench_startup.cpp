// Start-up of the qev tool, paid once per picture by the make files that call
// it: "qev --version", and a 256 x 212 PNG converted to a Screen 5 SC file. The
// process is started and waited for in each iteration; the PNG is made once by
// ImageMagick in a temporary folder.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{
// The folder holding the PNG, or "" when ImageMagick is missing.
const std::string& sBenchFolder()
{
    static std::string s = []
    {
        char acFolder[] = "/tmp/qev_bench_startup_XXXXXX";
        if (!mkdtemp(acFolder)) return std::string();
        const std::string sFolder = acFolder;
        const std::string sMake =
            "cd " + sFolder +
            " && convert -size 256x212 radial-gradient:orange-navy picture.png >/dev/null 2>&1";
        return std::system(sMake.c_str()) == 0 ? sFolder : std::string();
    }();
    return s;
}

// Runs qev with the arguments, its output discarded; false when it failed.
bool bRunQEV(std::vector<std::string> asArguments)
{
    asArguments.insert(asArguments.begin(), QEV_BINARY);
    std::vector<char*> apszArguments;
    for (std::string& s : asArguments)
        apszArguments.push_back(&s[0]);
    apszArguments.push_back(nullptr);
    posix_spawn_file_actions_t oActions;
    posix_spawn_file_actions_init(&oActions);
    posix_spawn_file_actions_addopen(&oActions, 1, "/dev/null", O_WRONLY, 0);
    pid_t iChild = 0;
    const bool bStarted =
        posix_spawn(&iChild, QEV_BINARY, &oActions, nullptr, apszArguments.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&oActions);
    int iStatus = 0;
    return bStarted && waitpid(iChild, &iStatus, 0) == iChild && WIFEXITED(iStatus) &&
           WEXITSTATUS(iStatus) == 0;
}

void BM_StartVersion(benchmark::State& oState)
{
    for (auto _ : oState)
        if (!bRunQEV({"--version"})) oState.SkipWithError("qev --version failed");
}
BENCHMARK(BM_StartVersion)->Unit(benchmark::kMillisecond);

void BM_StartPNGToScreen5(benchmark::State& oState)
{
    if (sBenchFolder().empty())
    {
        oState.SkipWithError("ImageMagick missing");
        return;
    }
    const std::string sFolder = sBenchFolder();
    for (auto _ : oState)
        if (!bRunQEV({sFolder + "/picture.png", "-ct3", "-sm2", "-of" + sFolder + "/picture"}))
            oState.SkipWithError("conversion failed");
}
BENCHMARK(BM_StartPNGToScreen5)->Unit(benchmark::kMillisecond);
} // namespace
