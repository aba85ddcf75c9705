; .PMACRO removes macros, after which their names are ordinary statements again. A
; macro defined inside an expansion lives only as long as that expansion, and
; shadows a macro of the same name outside it. An empty macro expands to nothing.
; Checks hold whole lines: the blank after the colon is the line's own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
a .MACRO
 .WORD 1
 .ENDM
b .MACRO
 .WORD 2
 .ENDM
 a
 .PMACRO a,b
 a
 b
; CHECK: .WORD 1
; CHECK-NEXT: a
; CHECK-NEXT: b
outer .MACRO
 .DUP 1
in .MACRO
 .WORD 3
 .ENDM
 in
 .ENDM
 in
 .ENDM
 outer
 in
; The inner macro's name is a label of outer's body, so it is local to the call.
; CHECK-NEXT: .WORD 3
; CHECK-NEXT: in__M_L000002
; CHECK-NEXT: in
x .MACRO
 .WORD 4
 .ENDM
shadow .MACRO
 .DUP 1
x .MACRO
 .WORD 5
 .ENDM
 x
 .ENDM
 .ENDM
 shadow
 x
; CHECK-NEXT: .WORD 5
; CHECK-NEXT: .WORD 4
empty .MACRO
 .ENDM
 empty
; CHECK-NEXT:status 0
