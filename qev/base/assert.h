#pragma once

// Programming errors that ordinary input cannot reach stop the program with a
// message quoting the failed condition, the function and the source file. Always
// compiled in, also in release builds.
[[noreturn]] void vAssertFailed(const char* pszCondition, const char* pszFunction, const char* pszFile, int iLine);

#define QEV_ASSERT(condition)                                                                                  \
    ((condition) ? static_cast<void>(0) : vAssertFailed(#condition, __func__, __FILE__, __LINE__))
