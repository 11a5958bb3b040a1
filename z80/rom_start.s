; Start-up of a picture cartridge: shows the KRU records of the ROM's directory,
; one after the other on the space bar (or every few seconds), with the KRU player.
;
; ROM layout (the page at 4000h; larger ROMs are ASCII16 MegaROMs whose bank 0
; stays in 4000h-7FFFh while records are read through 8000h-BFFFh):
;   4000h  "AB", INIT, STATEMENT 0, DEVICE 0, TEXT 0, 6 reserved bytes
;   4010h  picture_shown: RET, called after each picture is shown (a fixed
;          address for debuggers and tests)
;   4011h  this start-up, then the player
;   rom_directory (the end of the code):
;          +0  number of pictures, 1..255
;          +1  seconds per picture, 0..255 (0: only the space bar advances)
;          +2  0 plain ROM, 1 ASCII16 MegaROM
;          +3  per picture, the 24-bit ROM offset of its KRU record
; Records follow the directory.
;
; RAM: the 2 KiB ring at C000h, the player's variables and the start-up's after
; it (linked at C800h); the stack stays where the BIOS put it.
;
; Needs from the BIOS only the slot calls (RSLREG, ENASLT) at start and, when no
; picture can be shown on an MSX2, the text calls (INITXT, CHPUT) for the message.

        .module rom_start
        .globl  kru_set_ring, kru_play, kru_play_banked, rom_directory

; BIOS entries and system variables. Source: MSX2 Technical Handbook, chapter 2.
ENASLT      = 0x0024    ; A = slot, H = page's high address: select the slot there
INITXT      = 0x006C    ; Screen 0, 40 columns
CHPUT       = 0x00A2    ; A = character to print
RSLREG      = 0x0138    ; A = primary slot register
EXPTBL      = 0xFCC1    ; per primary slot: bit 7 set when it is expanded
SLTTBL      = 0xFCC5    ; per primary slot: its secondary slot register
RG9SAV      = 0xFFE8    ; BIOS copy of VDP R9: bit 1 set on a 50 Hz machine

VDP_CTRL    = 0x99      ; status register 0: bit 7 = a frame has begun
PPI_KEYS    = 0xA9      ; keyboard matrix row, a 0 bit for a pressed key
PPI_ROW     = 0xAA      ; bits 3-0 select the row. Source: MSX Technical Data Book, PPI 8255
KEY_ROW     = 8         ; row 8 bit 0: the space bar

RING        = 0xC000

        .area   _CODE
        .ascii  "AB"
        .dw     init
        .dw     0, 0, 0
        .ds     6
picture_shown::
        ret

init:
        di
        ; our slot (that of page 1) also in page 2, where larger ROMs continue
        call    RSLREG
        rrca
        rrca
        and     #3
        ld      c, a
        ld      b, #0
        ld      hl, #EXPTBL
        add     hl, bc
        ld      a, (hl)
        and     #0x80
        or      c
        ld      c, a
        jp      p, 1$
        ld      hl, #SLTTBL
        ld      a, c
        and     #3
        ld      e, a
        ld      d, #0
        add     hl, de
        ld      a, (hl)
        and     #0x0C
        or      c
        ld      c, a
1$:     ld      a, c
        ld      h, #0x80
        call    ENASLT
        di
        ld      hl, #RING
        call    kru_set_ring
        xor     a
        ld      (current), a
        ld      (skipped), a

show:
        call    play_current
        cp      #2
        jr      nz, shown
        ; a YJK picture on an MSX2: the next one, unless none can be shown
        ld      hl, #skipped
        inc     (hl)
        ld      a, (rom_directory)
        cp      (hl)
        jp      z, needs_msx2plus
        call    next_picture
        jr      show
shown:
        xor     a
        ld      (skipped), a
        call    picture_shown
        ld      a, (rom_directory)
        dec     a
        jr      z, stay         ; one picture: it simply stays
        call    wait_for_next
        call    next_picture
        jr      show
stay:
        jr      stay

; current := the next picture, after the last the first.
next_picture:
        ld      a, (rom_directory)
        ld      b, a
        ld      a, (current)
        inc     a
        cp      b
        jr      c, 1$
        xor     a
1$:     ld      (current), a
        ret

; Plays the current picture's record. Out: A = the player's result.
play_current:
        ld      a, (current)
        ld      l, a
        ld      h, #0
        ld      e, l
        ld      d, h
        add     hl, hl
        add     hl, de          ; 3 bytes an entry
        ld      de, #rom_directory+3
        add     hl, de
        ld      e, (hl)
        inc     hl
        ld      d, (hl)
        inc     hl
        ld      c, (hl)         ; C:D:E = ROM offset
        ld      a, (rom_directory+2)
        or      a
        jr      nz, 1$
        ld      hl, #0x4000     ; plain ROM: offsets from 4000h
        add     hl, de
        jp      kru_play
1$:     ; bank = offset >> 14, address = 8000h + (offset & 3FFFh)
        ld      a, d
        rlca
        rlca
        and     #3
        ld      b, a
        ld      a, c
        add     a, a
        add     a, a
        or      b
        ld      b, a
        ld      a, d
        and     #0x3F
        or      #0x80
        ld      d, a
        ld      a, b
        jp      kru_play_banked

; Returns once the space bar has been pressed (after being released) or, with
; seconds per picture set, once that many frames have begun.
wait_for_next:
        ; frames to wait: seconds x 60 (x 50 on a 50 Hz machine); 0: no limit
        ld      hl, #0
        ld      a, (rom_directory+1)
        or      a
        jr      z, 3$
        ld      b, a
        ld      de, #60
        ld      a, (RG9SAV)
        and     #2
        jr      z, 4$
        ld      e, #50
4$:     add     hl, de
        djnz    4$
3$:     ld      (frames_left), hl
        in      a, (VDP_CTRL)   ; clears a pending frame flag
1$:     call    space_pressed   ; first let go of the key
        jr      z, 1$
2$:     call    space_pressed
        ret     z
        in      a, (VDP_CTRL)
        rlca
        jr      nc, 2$
        ld      hl, (frames_left)
        ld      a, h
        or      l
        jr      z, 2$           ; no time limit
        dec     hl
        ld      (frames_left), hl
        ld      a, h
        or      l
        jr      nz, 2$
        ret

; Z set while the space bar is down. Clobbers: A
space_pressed:
        in      a, (PPI_ROW)
        and     #0xF0
        or      #KEY_ROW
        out     (PPI_ROW), a
        in      a, (PPI_KEYS)
        and     #1
        ret

needs_msx2plus:
        call    INITXT
        ld      hl, #message
1$:     ld      a, (hl)
        or      a
        jr      z, 2$
        push    hl
        call    CHPUT
        pop     hl
        inc     hl
        jr      1$
2$:     call    picture_shown
3$:     jr      3$

message:
        .ascii  "This picture needs an MSX2+"
        .db     13, 10
        .ascii  "(the V9958 video chip)."
        .db     0

        .area   _DATA
current:        .ds 1
skipped:        .ds 1
frames_left:    .ds 2
