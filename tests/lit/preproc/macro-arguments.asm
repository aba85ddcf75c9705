; A macro call gives each formal its argument: more arguments than formals draw
; W280 and the extra ones are dropped; a formal without an argument (too few, or
; omitted between commas) stays as written; a quoted argument keeps its commas
; and blanks and loses its quotes. Checks hold whole lines: the blank after the
; colon is the line's own leading blank.
; RUN: %vekt --preprocess %s > %t.out 2> %t.err; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
; RUN: FileCheck --check-prefix=WARN --match-full-lines %s < %t.err
m .MACRO a
 .BYTE a
 .ENDM
 m 1,2
; CHECK: .BYTE 1
; WARN: vekt W280: ["{{.*}}macro-arguments.asm" 12] additional arguments for macro call ignored
three .MACRO x,y,z
 .WORD x,y,z
 .ENDM
 three 1
 three 1,,3
 three ,'a, b',"c"
; CHECK-NEXT: .WORD 1,y,z
; CHECK-NEXT: .WORD 1,y,3
; CHECK-NEXT: .WORD x,a, b,c
; CHECK-NEXT:status 0
