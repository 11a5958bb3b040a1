#include "qev/base/parallel.h"

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
    for (int i = 1; i < iWorkers; i++)
        aoThreads.emplace_back(fnWork, i, iWorkers);
    fnWork(0, iWorkers);
    for (std::thread& o : aoThreads)
        o.join();
}
