; delay.asm - a busy wait of 255 rounds, kept in the library
        #include "defs.inc"

        global  delay

delay_udata udata
dcount  res     1               ; rounds left

delay_code code
delay   movlw   0xFF
        banksel dcount
        movwf   dcount
dloop   decfsz  dcount, f
        goto    dloop
        retlw   0
        end
