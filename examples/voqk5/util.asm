; util.asm - the blink routine and its counter
        #include "defs.inc"

        global  blink, count
        extern  pattern

util_udata udata
count   res     1               ; blinks left in this round

util_code code
blink   banksel pattern
        movfp   pattern, PORTB  ; show the pattern
        banksel count
        decf    count, f
        return
        end
