#pragma once

// The decoding interface of the RECOIL library for pictures in the native file
// formats of old home computers. This unit provides its own decoders behind
// exactly these calls, so a build may link the library itself instead without
// touching any caller.
//
// A format is recognised by the file name's last extension (case-insensitive)
// and then validated by its contents (size, magic, header fields) before
// anything is decoded. The names the program's own readers handle are never
// claimed: .png, .jpg, .jpeg, .qev, the MSX screen dumps .sc?, .sr?, .sk?, .si?
// and their companions .pl?, .pi?, .sj?, .sl?, where ? is one of the screen
// characters 2 3 5 6 7 8 a c (the Atari Degas names .pi1, .pi2, .pi3 are
// claimed: no MSX companion is read under them).

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C"
{
#endif

    typedef struct RECOIL RECOIL;

    // A new decoder holding no picture, or null when memory runs out. The caller
    // releases it with RECOIL_Delete (null is accepted there).
    RECOIL* RECOIL_New(void);
    void RECOIL_Delete(RECOIL* self);

    // Decodes contentLength bytes of a file; only the extension of filename is used,
    // to recognise the format. True when the picture was decoded; false for a name
    // not recognised, contents that fail validation, or a damaged body. After false
    // the decoder holds no picture (width and height 0, pixels null).
    bool RECOIL_Decode(RECOIL* self, const char* filename, uint8_t const* content, int contentLength);

    int RECOIL_GetWidth(const RECOIL* self);
    int RECOIL_GetHeight(const RECOIL* self);

    // Width x height pixels, each 0xRRGGBB, top row first; owned by the decoder and
    // valid until its next RECOIL_Decode or RECOIL_Delete.
    const int* RECOIL_GetPixels(const RECOIL* self);

    // True when the name's extension belongs to a format RECOIL_Decode tries (the
    // library's own query, for callers that want to know before reading a file).
    bool RECOIL_IsOurFile(const char* filename);

#ifdef __cplusplus
}
#endif
