; .DUPF counts from its start (1 when omitted) to its end by its step (1 when
; omitted); a step of 0 or a start past the end gives nothing. The value is
; written in the current radix. A loop whose next value would leave the 64-bit
; range ends there. Checks hold whole lines: the blank after the colon is the
; line's own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
 .DUPF i,,3
 .WORD i
 .ENDM
; CHECK: .WORD 1
; CHECK-NEXT: .WORD 2
; CHECK-NEXT: .WORD 3
 .DUPF i,0,10,5
 .WORD i
 .ENDM
; CHECK-NEXT: .WORD 0
; CHECK-NEXT: .WORD 5
; CHECK-NEXT: .WORD 10
 .DUPF i,3,1,-1
 .WORD i
 .ENDM
; CHECK-NEXT: .WORD 3
; CHECK-NEXT: .WORD 2
; CHECK-NEXT: .WORD 1
 .DUPF i,1,3,0
 .WORD step0
 .ENDM
 .DUPF i,5,1
 .WORD past
 .ENDM
 .DUPF i,0x7FFFFFFFFFFFFFFE,0x7FFFFFFFFFFFFFFF
 .WORD i
 .ENDM
; CHECK-NEXT: .WORD 9223372036854775806
; CHECK-NEXT: .WORD 9223372036854775807
 .RADIX 16
 .DUPF i,9,0xB
 .WORD i
 .ENDM
; CHECK-NEXT: .RADIX 16
; CHECK-NEXT: .WORD 0x9
; CHECK-NEXT: .WORD 0xa
; CHECK-NEXT: .WORD 0xb
 .RADIX 8
 .DUPF i,7,10
 .WORD i
 .ENDM
; CHECK-NEXT: .RADIX 8
; CHECK-NEXT: .WORD 7
; CHECK-NEXT: .WORD 10
; CHECK-NEXT:status 0
