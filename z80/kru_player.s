; The KRU player, with its fast path: kru_player_core.s (keep it beside this
; file) assembled for speed. See kru_player_core.s for the entries and the record.
KRU_FAST = 1
        .include "kru_player_core.s"
