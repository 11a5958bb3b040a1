#include "qev/base/parallel.h"

#include <system_error>
#include <thread>
#include <vector>

int iDefaultWorkerCount()
{
    unsigned int ui = std::thread::hardware_concurrency();
    return ui < 1 ? 1 : (ui > 64 ? 64 : static_cast<int>(ui));
}

void vRunWorkers(int iWorkers, const std::function<void(int, int)>& fnWork)
{
    if (iWorkers < 1) iWorkers = 1;
    std::vector<std::thread> aoThreads;
    std::vector<int> aiHere = {0}; // shares done on the calling thread
    for (int i = 1; i < iWorkers; i++)
    {
        // A thread that cannot be started leaves its share to the calling thread.
        try
        {
            aoThreads.emplace_back(fnWork, i, iWorkers);
        }
        catch (const std::system_error&)
        {
            aiHere.push_back(i);
        }
    }
    for (int i : aiHere)
        fnWork(i, iWorkers);
    for (std::thread& o : aoThreads)
        o.join();
}
