; The small KRU player: kru_player_core.s (keep it beside this file) without its
; fast path, for programs short of space. The same entries, registers and RAM;
; it decodes every item with the generic code and sends with OTIR, so a picture
; takes about 1.4 times as long.
KRU_FAST = 0
        .include "kru_player_core.s"
