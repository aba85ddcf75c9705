; A repeat block with a body draws an expansion number even when it yields no
; iteration, so the next macro-local label takes the number after it.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
m .MACRO
x: nop
 .ENDM
 .DUP 0
never: nop
 .ENDM
 m
; CHECK:x__M_L000002: nop
; CHECK-NEXT:status 0
