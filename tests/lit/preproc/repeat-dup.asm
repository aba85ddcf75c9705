; .DUP repeats its body count times; a count of 0 or below gives nothing. A label
; on the .DUP line comes once, on a line of its own, before the first copy. A
; floating-point count is cut toward zero. A block nested in the body ends only
; at its own .ENDM. Checks hold whole lines: the blank after the colon is the
; line's own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
start .DUP 3
 nop
 .WORD 1
 .ENDM
; CHECK:start:
; CHECK-NEXT: nop
; CHECK-NEXT: .WORD 1
; CHECK-NEXT: nop
; CHECK-NEXT: .WORD 1
; CHECK-NEXT: nop
; CHECK-NEXT: .WORD 1
 .DUP 0
 .WORD 0
 .ENDM
 .DUP -2
 .WORD -2
 .ENDM
 .DUP 2.9
 .WORD 2
 .DUP 2
 .WORD 3
 .ENDM
 .ENDM
; CHECK-NEXT: .WORD 2
; CHECK-NEXT: .WORD 3
; CHECK-NEXT: .WORD 3
; CHECK-NEXT: .WORD 2
; CHECK-NEXT: .WORD 3
; CHECK-NEXT: .WORD 3
; CHECK-NEXT:status 0
