#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"

#include <cstdio>

// Reads a picture by its name's extension. Returns a new picture (the caller owns
// it) whose aspect ratio the input aspect-ratio settings have decided, or null
// after a message when the file cannot be opened or decoded, and null without a
// message when no reader handles the extension.
Image* poReadImageFromFile(const char* pszName, const tdSettings* poSettings);

// The same with the reader chosen as if the name ended in pszType (".png",
// ".jpg", ".qev"...): for a file whose first bytes told what it is. Companion
// files are looked for only when pszType is pszName itself.
Image* poReadImageFromFileAs(const char* pszName, const char* pszType, const tdSettings* poSettings);

// Gives a picture just read the pixel aspect ratio the input aspect-ratio
// settings decide: its own ratio (not finite and positive: square pixels)
// becomes the automatic input ratio, which the settings may override.
void vApplyInputAspectRatio(Image* poImage, const tdSettings* poSettings);

// True when poReadImageFromFile has a reader for the name's extension.
bool bIsReadableExtension(const char* pszName);

// The extensions poReadImageFromFile reads (".png"...), by index from 0; null past
// the last. For file dialogs and help texts.
const char* pszReadableExtension(int iIndex);

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
// converted). poRun (may be null) reports progress and may stop the conversion:
// then the files and picture are incomplete, and the caller discards them.
tdErrorTriple oWriteImageToFile(const Image* poImage, const char* pszName, const tdSettings* poSettings,
                                void* pContext, FILE* poRawStream, Image** ppoConverted,
                                const tdRunContext* poRun = nullptr);

// The main output name oWriteImageToFile writes for pszName (new text, caller
// frees), or null for conversion types that write no named file.
char* szGetOutputFileName(const char* pszName, const tdSettings* poSettings);

// The companion files oWriteImageToFile writes beside the main output name pszMain:
// the palette file (when the settings use a palette) and second page of SR, the
// second page of interlaced SC. Puts new texts (caller frees) into apszNames and
// returns how many (0 to 2).
int iGetCompanionFileNames(const char* pszMain, const tdSettings* poSettings, char* apszNames[2]);
