#pragma once

// Checks of a picture file's bytes against what its header declares, made before
// any decoder sees the file: the size within the program's limits, the bytes of
// uncompressed pixels present, compressed data not claiming more pixels than its
// format can pack into its bytes, run-length and block streams complete. What
// passes cannot make a decoder invent pixels or spend more than the read's
// memory bound.

#include <cstddef>

// The message for a file that stops before the picture it declares is complete.
extern const char g_szFileEndsEarly[];

// Checks the whole file puc[0..uiSize) as the format named (the reader's format
// names: "bmp", "gif", "tiff", "webp", "pbm", "pgm", "ppm", "ico", "xpm", "xbm",
// "tga"). lBytesPerPixel is what the decoding path holds per pixel at its peak,
// for the memory bound. Returns null when the file may be decoded, else why not
// (a static text).
const char* pszCheckPictureFile(const char* pszFormat, const unsigned char* puc, size_t uiSize,
                                long long lBytesPerPixel);
