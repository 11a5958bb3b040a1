#include "qev/files/stream_bytes.h"

#include <sys/stat.h>

long long lStreamBytes(FILE* poFile)
{
    struct stat oStat;
    if (fstat(fileno(poFile), &oStat) != 0 || !S_ISREG(oStat.st_mode)) return -1;
    const long lPosition = ftell(poFile);
    if (lPosition < 0 || lPosition > oStat.st_size) return -1;
    return static_cast<long long>(oStat.st_size) - lPosition;
}
