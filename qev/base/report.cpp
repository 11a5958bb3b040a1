#include "qev/base/report.h"

#include "qev/base/settings.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The last message of this thread; longer ones are cut.
static thread_local char g_acLastError[1024];

void vError(const char* pszFile, const char* pszFunction, int iLine, const char* pszFormat, ...)
{
    va_list oArguments;
    va_start(oArguments, pszFormat);
    vsnprintf(g_acLastError, sizeof(g_acLastError), pszFormat, oArguments);
    va_end(oArguments);
    size_t uiLength = strlen(g_acLastError);
    while (uiLength > 0 && g_acLastError[uiLength - 1] == '\n')
        g_acLastError[--uiLength] = '\0';
#ifdef NDEBUG
    // Users read the message alone, one a line.
    (void)pszFile, (void)pszFunction, (void)iLine;
    fprintf(stderr, "%s\n", g_acLastError);
#else
    fprintf(stderr, "File: %s\nFunction: %s\nLine: %d\nMessage: %s\n", pszFile, pszFunction, iLine,
            g_acLastError);
#endif
    fflush(stderr);
}

const char* pszLastError()
{
    return g_acLastError;
}

void vClearLastError()
{
    g_acLastError[0] = '\0';
}

void vDebugPrintf(const char* pszFormat, ...)
{
    char acBuffer[1024];
    va_list oArguments;
    va_start(oArguments, pszFormat);
    vsnprintf(acBuffer, sizeof(acBuffer), pszFormat, oArguments);
    va_end(oArguments);
}

void vDebugPrintfNoCR(const char* pszFormat, ...)
{
    char acBuffer[1024];
    va_list oArguments;
    va_start(oArguments, pszFormat);
    vsnprintf(acBuffer, sizeof(acBuffer), pszFormat, oArguments);
    va_end(oArguments);
}

bool bEndsWith(const char* pszText, const char* pszEnding)
{
    size_t uiText = strlen(pszText);
    size_t uiEnding = strlen(pszEnding);
    if (uiEnding > uiText) return false;
    return strcasecmp(pszText + uiText - uiEnding, pszEnding) == 0;
}

char* szConcat(const char* pszFirst, const char* pszSecond)
{
    size_t uiFirst = strlen(pszFirst);
    size_t uiSecond = strlen(pszSecond);
    char* psz = static_cast<char*>(malloc(uiFirst + uiSecond + 1));
    memcpy(psz, pszFirst, uiFirst);
    memcpy(psz + uiFirst, pszSecond, uiSecond + 1);
    return psz;
}

char* szReplaceExtenstion(const char* pszName, const char* pszExtension)
{
    const char* pszSlash = strrchr(pszName, '/');
    const char* pszDot = strrchr(pszName, '.');
    size_t uiKeep = strlen(pszName);
    if (pszDot && (!pszSlash || pszDot > pszSlash)) uiKeep = static_cast<size_t>(pszDot - pszName);
    size_t uiExtension = strlen(pszExtension);
    char* psz = static_cast<char*>(malloc(uiKeep + 1 + uiExtension + 1));
    memcpy(psz, pszName, uiKeep);
    psz[uiKeep] = '.';
    memcpy(psz + uiKeep + 1, pszExtension, uiExtension + 1);
    return psz;
}

char* szReplaceEnding(const char* pszText, int iOffset, const char* pszReplacement)
{
    char* psz = szConcat(pszText, "");
    long lLength = static_cast<long>(strlen(psz));
    if (iOffset >= 0 || lLength + iOffset < 0) return psz;
    for (long i = lLength + iOffset; i < lLength && *pszReplacement; i++, pszReplacement++)
    {
        char c = *pszReplacement;
        if (psz[i] >= 'A' && psz[i] <= 'Z' && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        psz[i] = c;
    }
    return psz;
}

// File names use one character per screen.
static const char* const g_apszScreenChars[ScreenMode_Count] = {"2", "3", "5", "6", "7", "8", "a", "c", "4"};

const char* szGetScreenCharFromMode(int eScreenMode)
{
    if (eScreenMode < 0 || eScreenMode >= ScreenMode_Count) return nullptr;
    return g_apszScreenChars[eScreenMode];
}
