; main.asm - blinks the port of a VOQK5 through a routine of util.asm
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
        movwf   count           ; five blinks per round
loop    call    blink
        call    delay
        goto    loop
        end
