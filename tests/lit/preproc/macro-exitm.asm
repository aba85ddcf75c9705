; .EXITM leaves the expansion at once: the rest of the body is dropped, the
; conditional blocks opened inside it are closed, and in a repeat block no
; further iteration runs. Checks hold whole lines: the blank after the colon is
; the line's own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
m .MACRO a
 .WORD 1
 .IF a
 .IF 1
 .EXITM
 .ENDIF
 .ENDIF
 .WORD 2
 .ENDM
 m 1
 .WORD 3
 m 0
; CHECK: .WORD 1
; CHECK-NEXT: .WORD 3
; CHECK-NEXT: .WORD 1
; CHECK-NEXT: .WORD 2
 .DUPF i,1,5
 .WORD i
 .IF i == 2
 .EXITM
 .ENDIF
 .ENDM
 .WORD 6
; CHECK-NEXT: .WORD 1
; CHECK-NEXT: .WORD 2
; CHECK-NEXT: .WORD 6
; CHECK-NEXT:status 0
