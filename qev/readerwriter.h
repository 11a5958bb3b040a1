#pragma once

#include "color.h"
#include "image.h"
#include "settings.h"

#include <cstdio>

// Reports a recoverable problem on standard error as
// "File: %s\nFunction: %s\nLine: %d\nMessage: " and the formatted message (no
// line feed added), then returns: the caller goes on.
void vError(const char* pszFile, const char* pszFunction, int iLine, const char* pszFormat, ...)
    __attribute__((format(printf, 4, 5)));

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

// "2", "3", "5", "6", "7", "8", "a", "c" for Screens 2 to 12; null otherwise.
const char* szGetScreenCharFromMode(int eScreenMode);

// Opens pszName with the fopen mode. With a null context the file itself is
// opened; with a tdOutputFiles context (output_files.h) a temporary sibling is
// opened instead and renamed into place when the caller commits.
FILE* poOpenForWrite(void* pContext, const char* pszName, const char* pszMode);

// Closes a stream from poOpenForWrite with the same context.
void vCloseForWrite(void* pContext, FILE* poStream);

// Reads a picture by its name's extension. Returns a new picture (the caller owns
// it) whose aspect ratio the input aspect-ratio settings have decided, or null
// after a message when the file cannot be opened or decoded, and null without a
// message when no reader handles the extension.
Image* poReadImageFromFile(const char* pszName, const tdSettings* poSettings);

// True when poReadImageFromFile has a reader for the name's extension.
bool bIsReadableExtension(const char* pszName);

// True when oWriteImageToFile can write the conversion type in this build.
bool bIsSupportedConversionType(int eConversionType);

// Appends the extension the conversion type requires to pszName (unless it ends
// with it already), opens the output through poOpenForWrite with pContext, and
// runs the writer. poRawStream is the stream of RAW output. Returns the writer's
// error triple; zero when nothing was written.
tdErrorTriple oWriteImageToFile(const Image* poImage, const char* pszName, const tdSettings* poSettings,
                                void* pContext, FILE* poRawStream);
// The same; *ppoConverted (may be null) receives the picture the writer's encoder
// painted, at the writer's output size (the caller owns it; null when nothing was
// converted).
tdErrorTriple oWriteImageToFile(const Image* poImage, const char* pszName, const tdSettings* poSettings,
                                void* pContext, FILE* poRawStream, Image** ppoConverted);

// The main output name oWriteImageToFile writes for pszName (new text, caller
// frees), or null for conversion types that write no named file.
char* szGetOutputFileName(const char* pszName, const tdSettings* poSettings);
