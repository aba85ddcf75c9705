; Diagnostics of macro definitions and of .PMACRO: redefining a macro in the same
; scope (the new body wins), names .PMACRO cannot find, and list syntax.
; RUN: not %vekt --preprocess %s > %t.out 2> %t.err
; RUN: FileCheck --match-full-lines %s < %t.err
m .MACRO
 .WORD 1
 .ENDM
m .MACRO
 .WORD 2
 .ENDM
; CHECK:      vekt E162: ["{{.*}}macro-definition-errors.asm" [[@LINE-3]]] redefinition of macro "m"
 .PMACRO nothere
; CHECK-NEXT: vekt W161: ["{{.*}}macro-definition-errors.asm" [[@LINE-1]]] macro "nothere" does not exist
a .MACRO
 .ENDM
b .MACRO
 .ENDM
 .PMACRO a b
; CHECK-NEXT: vekt E112: ["{{.*}}macro-definition-errors.asm" [[@LINE-1]]] syntax error: expected comma
c .MACRO
 .ENDM
 .PMACRO c,
; CHECK-NEXT: vekt E198: ["{{.*}}macro-definition-errors.asm" [[@LINE-1]]] expected symbol name for .PMACRO directive
 .PMACRO
; CHECK-NEXT: vekt E198: ["{{.*}}macro-definition-errors.asm" [[@LINE-1]]] expected symbol name for .PMACRO directive
 .PMACRO ,m
; CHECK-NEXT: vekt E198: ["{{.*}}macro-definition-errors.asm" [[@LINE-1]]] expected symbol name for .PMACRO directive
 .PMACRO b 1
; CHECK-NEXT: vekt W161: ["{{.*}}macro-definition-errors.asm" [[@LINE-1]]] macro "b" does not exist
; CHECK-NEXT: vekt E172: ["{{.*}}macro-definition-errors.asm" [[@LINE-2]]] additional characters found after instruction or directive
self .MACRO
 .PMACRO self
 .ENDM
 self
; CHECK-NEXT: vekt E246: ["{{.*}}macro-definition-errors.asm" [[@LINE-1]]] cannot purge macro during its own expansion
 .MACRO
 .ENDM
; CHECK-NEXT: vekt E198: ["{{.*}}macro-definition-errors.asm" [[@LINE-2]]] expected symbol name for .MACRO directive
q .MACRO 'x
 .ENDM
; CHECK-NEXT: vekt E214: ["{{.*}}macro-definition-errors.asm" [[@LINE-2]]] unterminated string literal
; CHECK-NOT:  {{.}}
