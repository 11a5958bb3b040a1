#pragma once

#include "qev/base/color.h"
#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/compress/lzw.h"

class Palette;

// The encoders of the YJK screens. Each turns a fitted picture into its
// video-memory bytes, paints the converted picture and returns the error triple.
//
//   poImage         the picture, read through Image::oGetPixel (ordered dither
//                   applies); null encodes nothing and returns the zero triple
//   fErrorDiffusion the diffusion factor; 0.0 turns diffusion off
//   poFirst         page buffer of the even lines (all lines without poSecond); may
//                   be null
//   poSecond        page buffer of the odd lines of an interlaced picture; may be null
//   eCompression    how the bytes land in the buffers (see LZWCmp); the buffers are
//                   appended to, never reset
//   eMethod         the RGB-to-YJK search of every group (see vRGB2YJK)
//   poOutput        receives every converted pixel when given (pixels outside it are
//                   dropped); may be null
//   fYJKExponent, eDeltaMethod, fWeight   as for vRGB2YJK
//
// Any picture size is accepted. Each line is cut into groups of four pixels from
// x = 0; a width that is not a multiple of four ends in a group whose missing
// pixels read as black (Image::oGetPixel), so a line always gives 4 * ceil(width / 4)
// bytes. Those pixels take no part in diffusion or in the error, and are not painted.

// Screen 12: four bytes for every group, full 5-bit Y.
tdErrorTriple oWriteImageToYJK(const Image* poImage, double fErrorDiffusion, tdByteArray* poFirst,
                               tdByteArray* poSecond, tdCompressionType eCompression, tdRGB2YJKMethod eMethod,
                               Image* poOutput, double fYJKExponent, tdDeltaMethod eDeltaMethod,
                               double fWeight, const tdRunContext* poRun = nullptr);

// Screen 10: the same with even Y (bit 3 of every byte is the attribute bit). With
// a palette (the first count entries are candidates, see Palette::iNearestColor),
// a pixel whose nearest palette colour is at least as close as its YJK colour shows
// that palette colour instead: its byte becomes index << 4 | 8 | the J or K bits.
// poPalette may be null: then every pixel is YJK.
tdErrorTriple oWriteImageToYJKPlusPalette(const Image* poImage, const Palette* poPalette,
                                          double fErrorDiffusion, tdByteArray* poFirst, tdByteArray* poSecond,
                                          tdCompressionType eCompression, tdRGB2YJKMethod eMethod,
                                          Image* poOutput, double fYJKExponent, tdDeltaMethod eDeltaMethod,
                                          double fWeight, const tdRunContext* poRun = nullptr);
