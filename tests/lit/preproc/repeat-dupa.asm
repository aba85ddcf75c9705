; .DUPA runs once per item of its list, in order; in the iteration of an omitted
; item the symbol stays as written. A quoted item keeps its commas. Checks hold
; whole lines: the blank after the colon is the line's own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
 .DUPA v,a,,b
 .BYTE v
 .ENDM
; CHECK: .BYTE a
; CHECK-NEXT: .BYTE v
; CHECK-NEXT: .BYTE b
 .DUPA reg,d0,'d1,d2'
 mov reg,#0
 .ENDM
; CHECK-NEXT: mov d0,#0
; CHECK-NEXT: mov d1,d2,#0
; CHECK-NEXT:status 0
