; main.asm - blinks the port of a VOQ850 through a routine of util.asm
        #include "defs.inc"

        global  start, pattern
        extern  count, blink, delay

reset   code                    ; the reset vector
        goto    start

main_idata idata
pattern db      0x55, 0xAA      ; port patterns, copied at start-up

main_code code
start   banksel count
        movlw   0x05
        movwf   count, BANKED   ; five blinks per round
loop    call    blink
        call    delay
        bra     loop

main_text code_pack             ; read-only data in program memory
title   db      "VOQ850", 0     ; the device's name: 7 bytes, an odd size

main_bars code_pack
bars    db      0x01, 0x03, 0x07, 0x0F, 0x1F ; bar patterns: 5 bytes
        end
