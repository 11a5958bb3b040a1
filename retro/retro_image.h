#pragma once

// Pictures of retro-computer files for the program: the RECOIL decoder's pixels
// turned into an Image, and the whole road from a file name.

#include "retro/recoil.h"

class Image;

// A new picture (the caller owns it) of the decoder's width and height, texel
// size 3, aspect ratio 1.0, decoder row y becoming picture row y; null when the
// decoder holds no picture or the picture cannot be built. The input aspect-ratio
// settings are not applied: the decoders already deliver square pixels.
Image* poImageFromRECOIL(const RECOIL* poDecoder);

// Reads the whole file and decodes it through RECOIL. Returns a new picture as
// poImageFromRECOIL does, or null (without a message) when the file cannot be
// read or RECOIL does not recognise or cannot decode it: the program's own
// readers then get their chance.
Image* poReadImageWithRECOIL(const char* pszName);

// The same, with the format recognised by pszFormatName's extension instead of
// the file's own name: for a file whose first bytes told what it is.
Image* poReadImageWithRECOILAs(const char* pszName, const char* pszFormatName);
