; Start-up of a minimal MSX cartridge written in C with SDCC: the cartridge
; header at 4000h, a RET at 4010h that main calls once the picture is shown, and
; a jump to main with the stack under the BIOS's work area.
        .module crt0
        .globl  _main

        .area   _HEADER (ABS)
        .org    0x4000
        .ascii  "AB"
        .dw     init
        .dw     0, 0, 0
        .ds     6
_picture_shown::
        ret
init:
        ld      sp, #0xF380
        call    _main
1$:     jr      1$

        .area   _HOME
        .area   _CODE
        .area   _INITIALIZER
        .area   _GSINIT
        .area   _GSFINAL
        .area   _DATA
        .area   _INITIALIZED
        .area   _BSEG
        .area   _BSS
        .area   _HEAP
