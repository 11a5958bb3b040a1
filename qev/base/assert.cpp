#include "qev/base/assert.h"

#include <cstdio>
#include <cstdlib>

void vAssertFailed(const char* pszCondition, const char* pszFunction, const char* pszFile, int iLine)
{
    fprintf(stderr, "Assertion failed: %s, function %s, file %s, line %d.\n", pszCondition, pszFunction, pszFile,
            iLine);
    fflush(stderr);
    abort();
}
