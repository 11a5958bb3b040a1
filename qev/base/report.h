#pragma once

// The error report, debug printers and text helpers every layer of the core may use.

// Reports a recoverable problem on standard error: the formatted message on a
// line of its own (its own trailing line feeds dropped), after the lines
// "File: %s\nFunction: %s\nLine: %d\nMessage: " in builds with assertions
// (without NDEBUG) only, as users have no use for them. Then returns: the caller
// goes on. Messages longer than 1023 bytes are cut.
void vError(const char* pszFile, const char* pszFunction, int iLine, const char* pszFormat, ...)
    __attribute__((format(printf, 4, 5)));

// The message of the last vError report made on the calling thread, formatted,
// without the location lines and trailing line feeds; empty when none was made
// since vClearLastError. Lets a program show the reason of a failure in its own
// window. Each thread has its own.
const char* pszLastError();
void vClearLastError();

// Debug output is compiled in and switched off: the message is formatted and dropped.
void vDebugPrintf(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
void vDebugPrintfNoCR(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// True when pszText ends with pszEnding, compared without regard to case.
bool bEndsWith(const char* pszText, const char* pszEnding);

// The following return a new text (malloc) that the caller frees.
char* szConcat(const char* pszFirst, const char* pszSecond);
// The name up to its last "." after the last "/" (or the whole name), "." and the
// new extension.
char* szReplaceExtenstion(const char* pszName, const char* pszExtension);
// A copy whose characters from position length + iOffset (iOffset < 0) on are
// overwritten by those of pszReplacement, stopping at the end of either; a
// replacement landing on an upper-case letter is made upper case. An offset of 0,
// or one reaching before the start, returns the copy unchanged.
char* szReplaceEnding(const char* pszText, int iOffset, const char* pszReplacement);

// "2", "3", "5", "6", "7", "8", "a", "c", "4" for the tdScreenMode values (Screens 2
// to 12, then 4); null otherwise.
const char* szGetScreenCharFromMode(int eScreenMode);
