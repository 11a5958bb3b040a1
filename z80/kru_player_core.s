; KRU player: replays one KRU record on the MSX2/MSX2+ video chip. Assembled
; through kru_player.s (KRU_FAST = 1: with the fast path below) or
; kru_player_small.s (KRU_FAST = 0: half the size, about 1.3 times the time).
;
; Record (numbers little-endian):
;   +0   "MSXKRU"
;   +6   record size (4 bytes, not needed here)
;   +10  screen class: 0 Screens 2, 3, 4; 1 Screens 5-8; 2 Screens 10, 12 (YJK)
;   +11  blocks: stream length (2 bytes, 0 ends the record), compressed length (2),
;        the compressed bytes
; The decompressed blocks, joined, form the command stream:
;   1   palette    1, first entry, count, count palette-register words
;   0   registers  0, n, n triples (register, value, mask): the masked bits take the value
;   2   VRAM       2, address (3 bytes), length (3 bytes), length bytes of video memory
;   255 end
;
; Compressed block: a flag byte, then the data bytes of the items whose flag bits
; stand in it; flag bits are used from bit 7 down, and a decoder fetches a flag
; byte only when it needs a bit and each data byte at the moment it needs it.
;   literal  0, data byte
;   match    1, data byte o-1 (< 128) or 128 + ((o-1) & 127) followed by flag bits
;            10..7 of o-1; then Elias-gamma of l-1 in flag bits (k ones, a zero,
;            the k bits below the leading one). Offsets 1..2047, lengths 2 or more.
;   end      a match whose gamma has sixteen leading ones (l-1 = 65536).
;
; The decompressed stream goes through a 2 KiB ring in RAM (the match window) in
; batches of up to seven 256-byte pages of the ring; the command interpreter reads
; the batch back, and VRAM data leaves the ring with OUTIs (OTIR in kru_unpack,
; which may run with the display on; a slower OUTI loop in Screens 2 and 3, which
; the V9938 needs spaced by at least 29 T-states while it draws). The ring is
; only ever refilled once it has been read to its write point, so unread bytes
; are never overwritten.
;
; The player does not defend against corrupt records (the writer that makes them
; is ours): a damaged stream may write anything to the video chip, but it never
; writes RAM outside the ring and the variables below, and it stops at the record's
; zero block length or at an unknown command.
;
; Speed, standard 3.58 MHz Z80 (T-states with the MSX's M1 wait states): the fast
; path below decodes with the number of flag bits left in A known from where it
; runs; a literal costs 52, a match of 2 bytes 220 to 290 with its copy, of 3 or
; 4 bytes 300 to 360 (a new flag byte 15 more). Longer matches, and everything
; within 512 bytes of a MegaROM bank's end, go through the generic code, which
; tests the sentinel for each bit: 350 to 600 plus 23 a byte (LDIR) for a long
; match, 81 for a literal. Sending to the chip costs 18 to 19 a byte (OUTI)
; while the display is blanked.

        .module kru_player
        .globl  kru_set_ring, kru_play, kru_play_banked, kru_unpack, kru_unpack_far
        .globl  _kru_set_ring, _kru_play, _kru_play_banked, _kru_unpack

; Video chip ports. Source: V9938 Technical Data Book, ports 0-3 (MSX 98h-9Bh).
VDP_DATA    = 0x98      ; VRAM data
VDP_CTRL    = 0x99      ; register writes, VRAM address, status reads
VDP_PAL     = 0x9A      ; palette data, two bytes per entry, entry in R16

; The BIOS keeps a copy of every register it writes, because the chip's registers
; cannot be read back: R0-R7 at F3DFh, R8-R23 at FFE7h, R25-R27 at FFFAh (MSX2+).
; The player reads and updates the same copies, so masked writes keep the other
; bits and a BIOS called afterwards sees the registers as they are.
RG0SAV      = 0xF3DF
RG8SAV      = 0xFFE7
RG25SAV     = 0xFFFA

; ASCII16 mapper: a write to 7000h-77FFh selects the 16 KiB bank seen at 8000h-BFFFh.
ASCII16_PAGE2 = 0x7000

        .area   _DATA
; RAM owned by the player (20 bytes), besides the 2 KiB ring.
ring_hi:    .ds 1       ; high byte of the ring's address (a multiple of 8)
banked:     .ds 1       ; 0: the record is read linearly; 1: through page 2 of ASCII16
bank:       .ds 1       ; the bank now selected in page 2
in_ptr:     .ds 2       ; next compressed byte
flags:      .ds 1       ; flag bits left, followed by a 1 (sentinel) and zeros
wr_ptr:     .ds 2       ; where the decompressor writes next in the ring
rd_ptr:     .ds 2       ; where the interpreter reads next in the ring
pend_len:   .ds 2       ; bytes of the current match still to copy
pend_src:   .ds 2       ; where they come from in the ring
slow_out:   .ds 1       ; 0 OUTIs, 1 Screens 2 and 3 (spaced), 2 OTIR (kru_unpack)
rec_end:    .ds 1       ; nonzero once the zero block length was read
single:     .ds 1       ; nonzero while kru_unpack unpacks a lone block

        .area   _CODE

; kru_set_ring / _kru_set_ring: void kru_set_ring(void* ring)
;   In:  HL = a 2 KiB RAM area whose address is a multiple of 2048
;   Out: -
;   Clobbers: A
kru_set_ring:
_kru_set_ring:
        ld      a, h
        and     #0xF8
        ld      (ring_hi), a
        ret

; kru_play / _kru_play: unsigned char kru_play(const void* record)
;   In:  HL = the record ("MSXKRU"...) in memory that stays visible while it plays
;        (RAM, or ROM in pages 0-2 without a mapper); kru_set_ring called before
;   Out: A = 0 shown, 1 not a KRU record, 2 a YJK picture (Screen 10 or 12) on an
;        MSX2 (V9938): nothing was changed, 3 a damaged command stream
;   Clobbers: AF, BC, DE, HL, the alternate set; IX and IY are kept
;   Interrupts are disabled while it runs and restored as they were.
kru_play:
_kru_play:
        xor     a
        jr      play

; kru_play_banked / _kru_play_banked:
;   unsigned char kru_play_banked(unsigned char bank, const void* address)
;   In:  A = ASCII16 bank, DE = address of the record in page 2 (8000h-BFFFh) of
;        that bank, the cartridge's slot selected in page 2; the record may run on
;        into the following banks, which the player selects at 7000h as it goes
;   Out, clobbers: as kru_play; the last bank read stays selected in page 2
kru_play_banked:
_kru_play_banked:
        ld      (bank), a
        ld      (ASCII16_PAGE2), a
        ex      de, hl
        ld      a, #1
play:
        ld      (banked), a
        xor     a
        ld      (single), a
        ld      a, i            ; P/V = the interrupt enable flip-flop
        di
        push    af
        call    play_record
        ld      b, a
        pop     af
        ld      a, b
        ret     po              ; interrupts were off: leave them off
        ei
        ret

; kru_unpack / _kru_unpack: void kru_unpack(const void* packed, unsigned int vram)
;   In:  HL = one KRU block as qev --pack writes a table (no record around it),
;        DE = the video memory address it unpacks to; kru_set_ring called before
;   kru_unpack_far: the same with A = bit 16 of the address (the second page of
;        Screens 7 to 12)
;   Clobbers: AF, BC, DE, HL, the alternate set; leaves the display as it is.
;   Interrupts are disabled while it runs and restored as they were.
kru_unpack:
_kru_unpack:
        xor     a
kru_unpack_far:
        ld      b, a
        ld      a, i            ; P/V = the interrupt enable flip-flop
        di
        push    af
        push    hl
        ld      a, b            ; R14 = address bits 16..14
        rlca
        rlca
        ld      b, a
        ld      a, d
        rlca
        rlca
        and     #3
        or      b
        and     #7
        ld      b, #14
        call    write_reg
        ld      a, e
        out     (VDP_CTRL), a
        ld      a, d
        and     #0x3F
        or      #0x40
        out     (VDP_CTRL), a
        ; Screens 0 to 4 (mode bits M5-M3 of R0 below 011) need the spaced output
        ld      a, (RG0SAV)
        and     #0x0E
        cp      #6
        ld      a, #1
        jr      c, 3$
        inc     a
3$:     ld      (slow_out), a
        xor     a
        ld      (banked), a
        inc     a
        ld      (single), a
        pop     hl
        call    start_decoder
        ld      (in_ptr), hl
1$:     call    unread          ; until the block's end marker
        jr      nz, 4$
        call    fill
        call    unread
        jr      z, 2$           ; nothing more
4$:     call    send
        jr      1$
2$:     pop     af
        ret     po
        ei
        ret

; Checks the header, then runs the command stream. In: HL = record. Out: A = result.
play_record:
        ld      de, #magic
        ld      b, #6
1$:     call    get_in
        ex      de, hl
        cp      (hl)
        ex      de, hl
        jr      nz, not_kru
        inc     de
        djnz    1$
        ld      b, #4           ; the record size
2$:     call    get_in
        djnz    2$
        call    get_in          ; the screen class
        cp      #2
        jr      nz, 3$
        push    hl
        call    vdp_is_v9958
        pop     hl
        ld      a, #2
        ret     nz
        ld      a, #1           ; YJK on a V9958: bitmap timing
3$:     cp      #1
        ld      a, #0
        adc     a, a            ; class 0 -> 1 (slow output), else 0
        ld      (slow_out), a
        ; the display stays blank while the picture is loading
        push    hl
        ld      a, (RG0SAV+1)
        and     #0xBF
        ld      b, #1
        call    write_reg
        pop     hl
        call    start_decoder
        call    block_header    ; the first block (may end the record at once)
        ld      (in_ptr), hl
        jr      commands
not_kru:
        ld      a, #1
        ret

magic:  .ascii  "MSXKRU"

; The command interpreter: reads command bytes from the ring and obeys them.
commands:
        call    get_byte
        jr      c, damaged
        or      a
        jr      z, cmd_registers
        dec     a
        jr      z, cmd_palette
        dec     a
        jr      z, cmd_vram
        inc     a
        inc     a
        inc     a
        jr      nz, damaged
        ; end: show the picture
        ld      a, (RG0SAV+1)
        or      #0x40
        ld      b, #1
        call    write_reg
        xor     a
        ret
damaged:
        ld      a, #3
        ret

; 0, n, n triples (register, value, mask)
cmd_registers:
        call    get_byte
        ld      c, a
        or      a
        jp      z, commands
1$:     push    bc
        call    get_byte        ; register
        push    af
        call    get_byte        ; value
        push    af
        call    get_byte        ; mask
        ld      e, a
        pop     af
        and     e
        ld      d, a            ; value & mask
        pop     af
        ld      b, a
        call    shadow_of       ; HL = the register's copy
        ld      a, e
        cpl
        and     (hl)
        or      d
        ld      c, a
        ld      a, b
        cp      #1              ; R1: the display stays blank until the end
        ld      a, c
        jr      nz, 2$
        and     #0xBF
2$:     call    write_reg
        pop     bc
        dec     c
        jr      nz, 1$
        jp      commands

; 1, first entry, count, count words: the palette through port 9Ah
cmd_palette:
        call    get_byte        ; first entry
        ld      b, #16
        call    write_reg
        call    get_byte        ; count
        ld      c, a
        or      a
        jr      z, commands
1$:     push    bc
        call    get_byte
        out     (VDP_PAL), a
        call    get_byte
        out     (VDP_PAL), a
        pop     bc
        dec     c
        jr      nz, 1$
        jp      commands

; 2, address (3 bytes), length (3 bytes), the bytes. A 17-bit address: bits 16-14
; go to R14, bits 13-0 through the control port; the chip's address counter
; carries into R14 by itself in the bitmap modes.
cmd_vram:
        call    get_byte
        push    af              ; A7-A0
        call    get_byte
        push    af              ; A15-A8
        call    get_byte        ; A23-A16
        pop     de              ; D = A15-A8
        ld      c, d
        sla     c
        rla
        sla     c
        rla                     ; A = A16..A14 (with higher bits, masked below)
        and     #7
        ld      b, #14
        call    write_reg
        pop     af
        out     (VDP_CTRL), a
        ld      a, d
        and     #0x3F
        or      #0x40           ; write
        out     (VDP_CTRL), a
        call    get_byte
        ld      (vram_len), a
        call    get_byte
        ld      (vram_len+1), a
        call    get_byte
        ld      (vram_len+2), a
vram_loop:
        ld      hl, (vram_len)
        ld      a, (vram_len+2)
        or      h
        or      l
        jp      z, commands
        ; the unread bytes of the ring: decode a batch when there are none
        call    unread
        jr      nz, 1$
        call    fill
        call    unread
        jp      z, damaged      ; the record ended before the data did
1$:     ld      hl, (vram_len)  ; DE := min(DE, remaining); remaining -= DE
        ld      a, (vram_len+2)
        or      a
        sbc     hl, de
        sbc     a, #0
        jr      nc, 2$
        add     hl, de          ; fewer remain than are unread: all of them
        ex      de, hl
        ld      hl, #0
        xor     a
2$:     ld      (vram_len), hl
        ld      (vram_len+2), a
        call    send
        jp      vram_loop

; send: DE bytes (1..2047) of the ring from rd_ptr on to the video chip's data port,
; a page of the ring at a time. With the display blanked in the bitmap screens
; the chip takes a byte every 18 T-states (OUTI); kru_unpack may run with the
; display on and uses OTIR (23); in Screens 2 and 3 the V9938 needs 29, and gets
; 34 (T-states with the M1 waits).
;   Clobbers: AF, BC, DE, HL
send:
        ld      hl, (rd_ptr)
        ld      c, #VDP_DATA
1$:     xor     a               ; B = the bytes to the page's end (0 = 256), or DE
        sub     l
        ld      b, a
        inc     d
        dec     d
        jr      nz, 2$
        ld      a, e
        dec     a
        dec     b
        cp      b
        inc     b               ; keeps the carry of the comparison
        jr      nc, 2$
        ld      b, e
2$:     ld      a, e            ; DE -= B
        sub     b
        ld      e, a
        jr      nc, 3$
        dec     d
3$:     ld      a, b
        or      a
        jr      nz, 4$
        dec     d
4$:     push    de
        call    send_page
        pop     de
        ld      a, l            ; at the ring's end: back to its start
        or      a
        jr      nz, 5$
        ld      a, (ring_hi)
        add     a, #8
        cp      h
        jr      nz, 5$
        sub     #8
        ld      h, a
5$:     ld      a, d
        or      e
        jr      nz, 1$
        ld      (rd_ptr), hl
        ret

; send_page: B bytes (0 = 256) from HL to port C, HL advanced. Clobbers: AF, B, D
send_page:
        ld      a, (slow_out)
        dec     a
        jr      z, 3$
        .if     KRU_FAST
        jp      p, 2$
        ld      a, b
        and     #0x1F
        jr      z, 1$
        ld      d, b
        ld      b, a
        otir                    ; the bytes beyond a multiple of 32
        ld      a, d
        and     #0xE0
        ret     z
        ld      b, a
1$:     outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        outi
        jp      nz, 1$
        ret
        .endif
2$:     otir                    ; (the small player's only way for the bitmap screens)
        ret
3$:     outi
        nop
        jp      nz, 3$
        ret

        .area   _DATA
vram_len:   .ds 3       ; VRAM bytes of the current command still to send
        .area   _CODE

; start_decoder: an empty ring, no pending match, no flag bits, the record not
; ended. Clobbers: AF, DE
start_decoder:
        ld      a, (ring_hi)
        ld      d, a
        ld      e, #0
        ld      (wr_ptr), de
        ld      (rd_ptr), de
        xor     a
        ld      (rec_end), a
        ld      (pend_len), a
        ld      (pend_len+1), a
        ld      a, #0x80
        ld      (flags), a
        ret

; unread: DE = the bytes of the ring not read yet (0..2047), Z when none.
;   Clobbers: AF, HL
unread:
        ld      hl, (wr_ptr)
        ld      de, (rd_ptr)
        or      a
        sbc     hl, de
        ld      a, h
        and     #7
        ld      d, a
        ld      e, l
        or      e
        ret

; get_byte: the next byte of the command stream.
;   Out: A = the byte, carry clear; carry set when the record has ended
;   Clobbers: BC, DE, HL, the alternate set
get_byte:
        call    unread
        jr      nz, 1$
        call    fill
        call    unread
        scf
        ret     z
1$:     ld      hl, (rd_ptr)
        ld      a, (hl)
        inc     l
        jr      nz, 2$
        ld      b, a
        inc     h
        ld      a, h
        and     #7
        ld      a, h
        jr      nz, 3$
        sub     #8
3$:     ld      h, a
        ld      a, b
2$:     ld      (rd_ptr), hl
        or      a
        ret

; The decompressor's registers, kept across items:
;   A   flag bits left, followed by a 1 (the sentinel) and zeros; "add a, a" takes the
;       next bit into carry and gives Z when only the sentinel was left. A' holds
;       them while A computes a match's source. Between items the carry of F' is
;       1 (fill sets it, every match leaves it so), which the subtraction of the
;       source, DE - P - 1, takes as its borrow.
;   HL  the compressed input; DE the ring write pointer: a page of the ring is
;       full when E wraps to 0 (or a match has carried DE past the page's end);
;       BC scratch; IX the item loop (item_lin, or item_bank, which also watches
;       a literal leaving the bank's last page).
; A match's source is DE - o, moved up by the ring's 2 KiB when that falls below the
; ring: the ring is 2 KiB aligned, so the source belongs to the ring exactly when
; its address bits above bit 10 equal those of DE.

; GETBIT: the next flag bit into carry (16 T-states with the M1 wait states).
        .macro  GETBIT
        add     a, a
        call    z, next_flags
        .endm

; RELOAD: after "add a, a" gave Z, the next flag byte with the sentinel, carry =
; its first bit.
        .macro  RELOAD
        ld      a, (hl)
        inc     l
        call    z, in_page
        rla
        .endm

; SOURCE_HL: HL := DE - P - 1, the match's source, within the ring: bits 10..8 of
; the difference, the ring's bits above them from D (B may hold more bits above
; P's bits 10..8). Takes the borrow from F' (1) and leaves the flags in A'. A = L.
        .macro  SOURCE_HL
        ex      af, af'
        ld      a, e
        sbc     a, c
        ld      l, a
        ld      a, d
        sbc     a, b
        xor     d
        and     #7
        xor     d
        ld      h, a
        ld      a, l
        .endm

; fill: decompresses into the ring from wr_ptr until DE has passed the end of a
; seventh page, or the record ends. Only called with the ring read up to wr_ptr.
;   Clobbers: AF, BC, DE, HL, AF'
fill:
        ld      a, (rec_end)
        or      a
        ret     nz
        push    ix
        scf                     ; F' carry = 1 between items (see the registers)
        ex      af, af'
        ld      hl, (in_ptr)
        call    pick_loop
        ld      de, (wr_ptr)
        ld      bc, (pend_len)  ; a match the previous batch could not finish
        ld      a, b
        or      c
        ld      a, (flags)
        jr      z, 2$
        ex      af, af'
        push    hl
        ld      hl, #0
        ld      (pend_len), hl
        ld      hl, (pend_src)
        jp      copy_chunk
2$:     jp      (ix)

; pick_loop: IX := item_bank while a banked input is within 512 bytes of page
; 2's end, else fast_dispatch. A 256-byte page of the ring takes less input than
; that within a block (literals with their flag bytes, an end marker), and the
; loop is picked again at each page's end and after each block header, so the
; fast path, which reads its input without looking for the bank's end, never
; runs past the bank.
;   Clobbers: AF
pick_loop:
        .if     KRU_FAST
        ld      ix, #fast_dispatch
        ld      a, (banked)
        or      a
        ret     z               ; linear input
        ld      a, h
        cp      #0xBE
        ret     c
        ld      ix, #item_bank
        ret
        .else
        ld      ix, #item_bank  ; the small player's only item loop
        ret
        .endif

; item_bank: the item loop near a bank's end, which watches a literal leaving the
; bank's last page. A literal is 81 T-states with its flag bit.
item_bank:
        add     a, a
        jr      z, 2$
1$:     jp      c, match
        ldi
        inc     l
        dec     l
        call    z, bank_end     ; LDI took HL into the next page: maybe the next bank
        inc     e
        dec     e
        jp      nz, item_bank
        jp      batch_full
2$:     ld      a, (hl)
        inc     l
        call    z, in_page
        rla
        jr      1$


        .if     KRU_FAST
; The fast path: the item loop and the common matches (lengths 2 to 4) with the
; number of flag bits left in A known from where the code runs, so that no bit
; needs the sentinel test. State r: A holds r flag bits at its top (r = 0: none,
; the next bit needs a new flag byte), below them zeros, or the sentinel and
; zeros where the generic code handed over; SENTINEL puts the sentinel back where
; the fast path hands over to the generic code. The code
; for state r is f_lit<r> (an item), f_match<r> (a match whose flag bit has been
; read), f_l2_<r> (a length-2 match, BC = P) and f_long<r> (a gamma code that
; began with a 1). The generic code returns to the fast path through IX, which
; a fast head sets to the state the generic code will leave, or to
; fast_dispatch, which finds the state from the sentinel.

; FBIT r: in state r, the next flag bit into carry; the state becomes r-1 (r > 0)
; or 7 (r = 0, a new flag byte). The fast path loads flag bytes without the
; sentinel; where it hands over to the generic code, SENTINEL r puts it back.
        .macro  FBIT r
        .if     r
        add     a, a
        .else
        ld      a, (hl)
        inc     hl
        add     a, a
        .endif
        .endm

; NIBBLE: of A's top four bits, the first three to B's bits 2..0 (B keeps more
; above them) and the fourth to the carry; A keeps its other bits, moved up.
        .macro  NIBBLE
        rlca
        rlca
        rlca
        rlca
        ld      b, a
        and     #0xF0
        rr      b
        .endm

        .macro  SENTINEL r
        or      #(0x80 >> r)
        .endm

; An item in state r (n is the state after its flag bit): a literal (81 T-states
; in item_bank, 52 here) falls through into the next state's item. A match's
; tail tests the next item's flag bit itself and enters at f_litb<r>.
        .macro  FLIT r, n
f_lit'r:
        FBIT    r
        jp      c, f_match'n
f_litb'r:
        ldi
        inc     e
        dec     e
        jr      z, f_litfull'n
        .endm

; A match in state q; q1..q6 are the states after each of the next six bits.
; The offset byte, for long offsets the four bits 10..7 of P (B's bits above 2
; are left as they were: every user of B takes bits 10..8 only), then the first
; bit of the gamma code: 0 is length 2, whose copy ends in state q5 (q1 for a
; short offset, through the length-2 copy of the state that ends there).
        .macro  FMATCH q, q1, q2, q3, q4, q5, q6
f_match'q:
        ld      c, (hl)
        inc     hl
        sla     c               ; carry: a long offset; C = bits 6..0 of P, shifted
        jr      nc, f_short'q
        ; B's bits 2..0 := bits 10..8 of P, carry := bit 7. The bits in A are
        ; rotated down together rather than shifted into B one by one.
        .ifge   q-4
        ; the four are A's top bits: swapping A's halves leaves the flags
        ; that remain in the top half and the four in the bottom one
        NIBBLE
        .else
        .ifeq   q-3
        rlca                    ; A's three bits, then one from a new flag byte
        rlca
        rlca
        ld      b, a
        FBIT    0
        .endif
        .ifeq   q-2
        rlca
        rlca
        ld      b, a
        FBIT    0
        rl      b
        FBIT    7
        .endif
        .ifeq   q-1
        rlca
        ld      b, a
        FBIT    0
        rl      b
        FBIT    7
        rl      b
        FBIT    6
        .endif
        .ifeq   q
        ld      a, (hl)         ; the four are a new flag byte's top bits
        inc     hl
        NIBBLE
        .endif
        .endif
        rr      c               ; C = bits 7..0 of P
        FBIT    q4
        jp      c, f_long'q5
f_l2_'q5:
        ; length 2, P in BC: the source DE - P - 1 within the ring
        ex      af, af'         ; carry = 1
        ld      a, e
        sbc     a, c
        ld      c, a
        ld      a, d
        sbc     a, b
        xor     d
        and     #7
        xor     d
        ld      b, a
        ld      a, (bc)
        ld      (de), a
        inc     c
        jr      z, f_src'q      ; the second byte is on the ring's next page
        inc     e
        jr      z, f_full1'q
        ld      a, (bc)
        ld      (de), a
        inc     e
        jr      z, f_full2'q
        scf
        ex      af, af'
        FBIT    q5              ; the next item's flag bit, here to save a jump
        jp      c, f_match'q6
        jp      f_litb'q5
f_short'q:
        rr      c               ; (carry = 0) C = P
        ld      b, #0
        FBIT    q
        jp      nc, f_l2_'q1
        jp      f_long'q1
f_src'q:
        ex      af, af'
        SENTINEL q5
        ex      af, af'
        jp      f_l2_src
f_full1'q:
        ex      af, af'
        SENTINEL q5
        ex      af, af'
        jp      f_l2_full1
f_full2'q:
        ex      af, af'
        SENTINEL q5
        ex      af, af'
        jp      f_l2_full2
        .endm

; A gamma code that began with a 1, in state k (k1, k2, k3: the states after
; the next three bits): "10x" is length 3 or 4, three or four LDIs with x read
; once the source is known; near a page's end the generic code copies it in
; pieces and returns in state k2. Longer codes go to the generic code, which
; returns through fast_dispatch.
        .macro  FLONG k, k1, k2, k3, k4
f_long'k:
        FBIT    k
        jr      c, f_long5'k
        push    hl
        SOURCE_HL
        cp      #0xFC
        jr      nc, f_pieces'k  ; the source may reach its page's end
        ld      a, e
        cp      #0xFC
        jr      nc, f_pieces'k  ; the destination may reach its page's end
        ex      af, af'         ; carry = 1 in F'
        .if     k1
        add     a, a            ; x; LDI keeps the carry
        .else
        ex      (sp), hl        ; x from a new flag byte of the input on the stack
        ld      a, (hl)
        inc     hl
        add     a, a
        ex      (sp), hl
        .endif
        ldi
        ldi
        ldi
        jr      nc, f_three'k
        ldi
f_three'k:
        pop     hl
        FBIT    k2              ; the next item's flag bit
        jp      c, f_match'k3
        jp      f_litb'k2
f_pieces'k:
        ex      af, af'
        SENTINEL k1
        ex      af, af'
        ld      ix, #f_lit'k2
        jp      length_3_pieces
f_long5'k:                      ; "11": a third bit of 0 is "110xy", lengths 5 to 8
        FBIT    k1
        jr      c, f_long9'k
        SENTINEL k2
        ld      ix, #f_lit'k4
        jp      length_5xy
f_long9'k:
        SENTINEL k2
        ld      ix, #fast_dispatch
        jp      length_9
        .endm

; fast_dispatch: A holds the flag bits above the sentinel; the item loop of their
; number.
fast_dispatch:
        bit     0, a
        jp      nz, f_lit7
        bit     1, a
        jp      nz, f_lit6
        bit     2, a
        jp      nz, f_lit5
        bit     3, a
        jp      nz, f_lit4
        bit     4, a
        jp      nz, f_lit3
        bit     5, a
        jp      nz, f_lit2
        bit     6, a
        jp      nz, f_lit1
        jp      f_lit0

        FLIT    7, 6
        FLIT    6, 5
        FLIT    5, 4
        FLIT    4, 3
        FLIT    3, 2
        FLIT    2, 1
        FLIT    1, 0
        FLIT    0, 7
        jp      f_lit7
; A page filled by a literal, in the state the literal left (ordered to be in
; reach of the jumps above).
        .irp    n, 6, 5, 4, 3, 2, 1, 0, 7
f_litfull'n:
        SENTINEL n
        jp      batch_full
        .endm

        FMATCH  7, 6, 5, 4, 3, 2, 1
        FMATCH  6, 5, 4, 3, 2, 1, 0
        FMATCH  5, 4, 3, 2, 1, 0, 7
        FMATCH  4, 3, 2, 1, 0, 7, 6
        FMATCH  3, 2, 1, 0, 7, 6, 5
        FMATCH  2, 1, 0, 7, 6, 5, 4
        FMATCH  1, 0, 7, 6, 5, 4, 3
        FMATCH  0, 7, 6, 5, 4, 3, 2

        FLONG   7, 6, 5, 4, 3
        FLONG   6, 5, 4, 3, 2
        FLONG   5, 4, 3, 2, 1
        FLONG   4, 3, 2, 1, 0
        FLONG   3, 2, 1, 0, 7
        FLONG   2, 1, 0, 7, 6
        FLONG   1, 0, 7, 6, 5
        FLONG   0, 7, 6, 5, 4

; A length-2 copy that meets a page's end. f_l2_src: C has wrapped after the first
; byte; the source goes on at the next page of the ring.
f_l2_src:
        ld      a, b
        inc     a
        xor     d
        and     #7
        xor     d
        ld      b, a
        inc     e
        jr      z, f_l2_full1
        ld      a, (bc)
        ld      (de), a
        inc     e
        jr      z, f_l2_full2
        scf
        ex      af, af'
        jp      fast_dispatch
f_l2_full1:     ; the page is full after the first byte: the second waits
        ld      (pend_src), bc
        ld      bc, #1
        ld      (pend_len), bc
f_l2_full2:     ; E has wrapped: D moves on as batch_full expects
        inc     d
        ex      af, af'
        jp      batch_full
        .endif

; batch_full: E has wrapped, D is past the page written. The batch goes on into
; the next page, and a match the page cut off goes on there, until it has passed
; seven page ends: the ring then holds at most 2,047 bytes the interpreter has not
; read, so none is overwritten, and a match reaches back at most 2,047 bytes.
batch_full:
        ex      af, af'
        call    next_page
        jr      z, 3$
        call    pick_loop
        ld      bc, (pend_len)
        ld      a, b
        or      c
        jr      nz, 2$
        scf
        ex      af, af'
        jp      (ix)
2$:     push    hl
        ld      hl, #0
        ld      (pend_len), hl
        ld      hl, (pend_src)
        jp      copy_chunk
3$:     ex      af, af'
        jr      batch_done

; next_page: D has moved past a page of the ring: wraps it at the ring's end.
;   Out: Z once the batch has moved past seven pages (D is the page before the
;   one it began in). Clobbers: AF
next_page:
        ld      a, d
        and     #7
        jr      nz, 1$
        ld      a, d
        sub     #8
        ld      d, a
1$:     ld      a, (wr_ptr+1)   ; the batch's first page
        sub     d
        and     #7
        dec     a
        ret

batch_done:     ; the record has ended, or seven pages are full and DE wrapped
        ld      (in_ptr), hl
        ld      (flags), a
        ld      (wr_ptr), de
        pop     ix
        ret

; A match: the offset byte, for long offsets four flag bits (10..7 of o-1), then the
; Elias-gamma length. BC := P = o-1 (B = bits 10..8), and the source is DE - P - 1.
; The flag bytes that a long offset's four bits may need.
off_reload1:
        RELOAD
        jr      off_bit1
off_reload2:
        RELOAD
        jr      off_bit2
off_reload3:
        RELOAD
        jr      off_bit3
off_reload4:
        RELOAD
        jr      off_bit4

match:
        ld      c, (hl)
        inc     l
        call    z, in_page
match_offset:
        ld      b, #0
        bit     7, c
        jr      z, length
        ; a long offset: bits 10, 9, 8 of P to B, bit 7 to C's bit 7
        add     a, a
        jr      z, off_reload1
off_bit1:
        rl      b
        add     a, a
        jr      z, off_reload2
off_bit2:
        rl      b
        add     a, a
        jr      z, off_reload3
off_bit3:
        rl      b
        add     a, a
        jr      z, off_reload4
off_bit4:
        jr      c, length
        res     7, c
length:
        add     a, a
        jr      z, 2$
1$:     jr      c, length_3
        ; length 2: the source in BC, while source and destination stay in place
        ex      af, af'         ; carry = 1: DE - P - 1
        ld      a, e
        sbc     a, c
        ld      c, a
        ld      a, d
        sbc     a, b
        ld      b, a
        xor     d
        cp      #8              ; carry = 1 again unless below the ring
        jr      nc, 3$
5$:     ld      a, (bc)
        ld      (de), a
        inc     bc
        inc     e
        jr      z, 6$           ; the page is full after the first byte
        ld      a, (bc)
        ld      (de), a
        inc     e
        jr      z, 7$
        ex      af, af'
        jp      (ix)
6$:     ld      (pend_src), bc  ; the second byte waits for the next batch
        ld      bc, #1
        ld      (pend_len), bc
7$:     inc     d
        ex      af, af'
        jp      batch_full
2$:     ld      a, (hl)
        inc     l
        call    z, in_page
        rla
        jr      1$
3$:     ld      a, b            ; 2 KiB up, into the ring
        add     a, #8
        ld      b, a
        ld      a, c
        inc     a
        scf
        jr      nz, 5$          ; both bytes within the source's page
4$:     push    hl
        ld      h, b
        ld      l, c
        ld      bc, #2
        jp      copy_chunk

length_3:       ; the gamma code began with a 1
        add     a, a
        jr      z, length_3_reload
length_3_bit:
        jr      c, length_5
        ; "10x": L = 3 + x, x read once the source is known; three or four LDIs
length_3x:
        push    hl
        SOURCE_HL
        cp      #0xFC
        jr      nc, length_3_pieces ; the source may reach its page's end
        ld      a, e
        cp      #0xFC
        jr      nc, length_3_pieces ; the destination may reach its page's end
        ex      af, af'         ; (with carry = 1)
        add     a, a            ; x; LDI keeps the carry
        jr      z, 4$
2$:     ldi
        ldi
        ldi
        jr      nc, 6$
        ldi
6$:     pop     hl
        jp      (ix)
4$:     ex      (sp), hl        ; a new flag byte from the input on the stack
        ld      a, (hl)
        inc     l
        call    z, in_page
        rla
        ex      (sp), hl
        jr      2$
length_3_pieces:                ; x, then the copy in pieces
        ex      af, af'
        ex      (sp), hl
        GETBIT
        ld      bc, #3
        jr      nc, 7$
        inc     c
7$:     ex      (sp), hl
        ex      af, af'
        jp      cross_copy
length_3_reload:
        RELOAD
        jr      length_3_bit

length_5:       ; "11"
        add     a, a
        jr      z, length_5_reload
length_5_bit:
        jr      c, length_9
        ; "110xy": L = 5 + 2x + y, the bits read once the source is known
length_5xy:
        push    hl
        SOURCE_HL
        cp      #0xF8
        jr      nc, 5$          ; the source may reach its page's end
        ld      a, e
        cp      #0xF8
        jr      nc, 5$          ; the destination may reach its page's end
        ex      af, af'         ; (with carry = 1)
        add     a, a            ; x; LDI keeps the carry
        jr      z, 4$
2$:     ldi
        ldi
        ldi
        ldi
        ldi
        jr      nc, 6$
        ldi
        ldi
6$:     add     a, a            ; y
        jr      z, 7$
8$:     jr      nc, 9$
        ldi
9$:     pop     hl
        jp      (ix)
4$:     ex      (sp), hl        ; a new flag byte from the input on the stack
        ld      a, (hl)
        inc     l
        call    z, in_page
        rla
        ex      (sp), hl
        jr      2$
7$:     ex      (sp), hl
        ld      a, (hl)
        inc     l
        call    z, in_page
        rla
        ex      (sp), hl
        jr      8$
5$:     ex      af, af'         ; x and y, then the copy in pieces
        ex      (sp), hl
        ld      bc, #5
        GETBIT
        jr      nc, 10$
        inc     c
        inc     c
10$:    GETBIT
        jr      nc, 11$
        inc     c
11$:    ex      (sp), hl
        ex      af, af'
        jp      cross_copy
length_5_reload:
        RELOAD
        jr      length_5_bit

length_9:       ; "111"
        GETBIT
        jr      c, length_17
        push    bc              ; "1110xyz": L = 9 + 4x + 2y + z
        ld      c, #1
        GETBIT
        rl      c
        GETBIT
        rl      c
        GETBIT
        rl      c
        inc     c
        ld      b, #0
        ex      af, af'
        ex      (sp), hl        ; HL = P, the input on the stack
        ld      a, h            ; P's bits 10..8 (a fast head leaves more above)
        and     #7
        ld      h, a
        scf                     ; DE - P - 1
        ld      a, e
        sbc     a, l
        ld      l, a
        ld      a, d
        sbc     a, h
        ld      h, a
        jp      copy_match

length_17:      ; "1111": count the ones up to the zero (sixteen: the end marker),
        push    bc              ; then as many bits below the leading one
        push    de
        ld      d, #4
1$:     GETBIT
        jr      nc, 2$
        inc     d
        bit     4, d
        jr      z, 1$
        pop     de
        pop     bc
        jp      end_of_block
2$:     ld      bc, #1
3$:     GETBIT
        rl      c
        rl      b
        dec     d
        jr      nz, 3$
        inc     bc              ; BC = L
        pop     de
        ex      af, af'
        ex      (sp), hl        ; HL = P, the input on the stack
        ld      a, h            ; P's bits 10..8 (a fast head leaves more above)
        and     #7
        ld      h, a
        scf                     ; DE - P - 1
        ld      a, e
        sbc     a, l
        ld      l, a
        ld      a, d
        sbc     a, h
        ld      h, a
        inc     b
        dec     b
        jp      z, copy_match
        xor     d               ; 256 bytes or more: in pieces
        and     #0xF8
        jp      nz, wrap_chunk
        jp      copy_chunk

; copy_match: HL = DE - o before wrapping, BC = L (2..255); the input on the stack,
; the flags in A'.
copy_match:
        xor     d
        and     #0xF8
        jr      nz, wrapped
        ld      a, e
        add     a, c
        jr      c, cross_copy   ; reaches the page's end
        ldir                    ; overlapping copies run forwards as they must
        pop     hl
        scf
        ex      af, af'
        jp      (ix)
wrapped:        ; the source lies 2 KiB too low: LDIR unless it crosses its page
        ld      a, h
        add     a, #8
        ld      h, a
        ld      a, l
        add     a, c
        jr      c, copy_chunk
        ld      a, e
        add     a, c
        jr      c, cross_copy
        ldir
        pop     hl
        scf
        ex      af, af'
        jp      (ix)
; cross_copy: HL = the source within the ring, BC = L (1..255) bytes that may run
; past the destination's page: one LDIR unless the source or the destination
; meets the ring's end, then the page's end as batch_full sees it.
cross_copy:
        ld      a, h
        inc     a
        and     #7
        jr      nz, 3$
        ld      a, l            ; the source in the ring's last page
        add     a, c
        jr      c, copy_chunk   ; runs past the ring's end: in pieces
3$:     ld      a, e
        add     a, c
        jr      nc, 2$          ; within the page after all
        ld      a, d
        inc     a
        and     #7
        jr      z, copy_chunk   ; the ring's last page: in pieces
        ldir
        call    next_page
        pop     hl
        jr      z, 1$
        call    pick_loop
        scf
        ex      af, af'
        jp      (ix)
1$:     ex      af, af'
        jp      batch_done
2$:     ldir
        pop     hl
        scf
        ex      af, af'
        jp      (ix)
wrap_chunk:
        ld      a, h
        add     a, #8
        ld      h, a
; copy_chunk: copies BC bytes (1..65535) from HL (in the ring) to DE, in pieces that
; stay within a page of the source and of the destination. A destination page that
; fills ends as in batch_full; once the batch has passed seven page ends, the rest
; waits in pend_len/pend_src for the next batch.
copy_chunk:
        ld      a, l
        cp      e
        jr      nc, 1$
        ld      a, e
1$:     neg                     ; room on both pages, 0 = 256
        push    bc
        inc     b
        dec     b
        jr      nz, 2$          ; 256 or more left: the room
        dec     a
        cp      c
        inc     a
        jr      c, 2$           ; the room is smaller
        ld      a, c
2$:     ld      c, a            ; BC = the piece, 1..256
        ld      b, #0
        or      a
        jr      nz, 3$
        inc     b
3$:     ex      (sp), hl
        or      a
        sbc     hl, bc          ; the bytes left after the piece
        ex      (sp), hl
        ldir
        pop     bc
        ld      a, l            ; the source's page ended: wrap at the ring's end
        or      a
        jr      nz, 4$
        ld      a, h
        and     #7
        jr      nz, 4$
        ld      a, h
        sub     #8
        ld      h, a
4$:     ld      a, e
        or      a
        jr      z, 5$
        ld      a, b
        or      c
        jr      nz, copy_chunk
        pop     hl
        scf
        ex      af, af'
        jp      (ix)
5$:     call    next_page       ; the page is full
        jr      z, 6$
        ex      (sp), hl
        call    pick_loop
        ex      (sp), hl
        ld      a, b
        or      c
        jp      nz, copy_chunk
        pop     hl
        scf
        ex      af, af'
        jp      (ix)
6$:     ld      (pend_len), bc  ; seven pages: the rest waits for the next batch
        ld      (pend_src), hl
        pop     hl
        ex      af, af'
        jp      batch_done

; The end marker: a zero and sixteen bits follow; then the next block's header.
end_of_block:
        ld      b, #17
1$:     GETBIT
        djnz    1$
        ld      c, a
        ld      a, (single)
        or      a
        jr      z, 2$
        ld      (rec_end), a    ; a lone block (kru_unpack) ends here
        ld      a, c
        jp      batch_done
2$:     call    block_header
        ld      a, (rec_end)
        or      a
        ld      a, #0x80        ; no flag bits yet
        jp      nz, batch_done
        call    pick_loop
        ld      a, #0x80
        jp      (ix)

; next_flags: the next flag byte, with the carry (1) shifted in as the sentinel;
; carry = its first bit.
next_flags:
        ld      a, (hl)
        inc     l
        call    z, in_page
        rla
        ret

; block_header: reads a block's stream length and compressed length at HL.
;   Out: HL past them; rec_end set for length 0. Clobbers: AF, C
block_header:
        call    get_in
        ld      c, a
        call    get_in
        or      c
        jr      nz, 1$
        ld      a, #1
        ld      (rec_end), a
1$:     call    get_in
        jp      get_in

; get_in: A = (HL), HL advanced. Clobbers: F.
get_in:
        ld      a, (hl)
        inc     l
        ret     nz
; in_page: HL has crossed a 256-byte page of the input. In banked mode the end of
; page 2 selects the next bank and starts again at 8000h. Keeps A and carry.
in_page:
        inc     h
; bank_end: the same once H is already advanced.
bank_end:
        push    af
        ld      a, (banked)
        or      a
        jr      z, 1$
        ld      a, h
        cp      #0xC0
        jr      nz, 1$
        ld      h, #0x80
        ld      a, (bank)
        inc     a
        ld      (bank), a
        ld      (ASCII16_PAGE2), a
1$:     pop     af
        ret
; write_reg: register B := A, and its BIOS copy. Clobbers: F, HL (points at the copy).
write_reg:
        out     (VDP_CTRL), a
        push    af
        ld      a, b
        or      #0x80
        out     (VDP_CTRL), a
        call    shadow_of
        pop     af
        ld      (hl), a
        ret

; shadow_of: HL = the BIOS copy of register B (0-27; R14 and R15 included).
;   Clobbers: F
shadow_of:
        push    af
        ld      a, b
        cp      #8
        jr      nc, 1$
        ld      hl, #RG0SAV
        jr      3$
1$:     cp      #25
        jr      nc, 2$
        ld      hl, #RG8SAV-8
        jr      3$
2$:     ld      hl, #RG25SAV-25
3$:     add     a, l
        ld      l, a
        jr      nc, 4$
        inc     h
4$:     pop     af
        ret

; vdp_is_v9958: Z set when the chip is an MSX2+ V9958. Status register 1 bits 5-1
; hold the chip's identification: 0 for the V9938, 2 for the V9958. Source: V9958
; Technical Data Book, status register S#1. Interrupts must be off (S#1 is
; selected in R15 meanwhile; R15 returns to 0, where the BIOS expects it).
;   Clobbers: AF, B, HL
vdp_is_v9958:
        ld      a, #1
        ld      b, #15
        call    write_reg
        in      a, (VDP_CTRL)
        push    af
        xor     a
        call    write_reg
        pop     af
        and     #0x3E
        cp      #0x04
        ret
