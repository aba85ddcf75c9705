; A repeat directive whose operands are wrong reports at its line and repeats
; nothing, but still takes its body up to the matching .ENDM: the stray .ENDIF in
; each body would draw E166 if it got through. (An unclosed quote only cuts its
; item short and text after a .DUPC string is only reported: those blocks run.)
; RUN: not %vekt --preprocess %s > %t.out 2> %t.err
; RUN: count 0 < %t.out
; RUN: FileCheck --match-full-lines %s < %t.err
 .DUP
 .ENDIF
 .ENDM
; CHECK:      vekt E113: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] syntax error: expected expression
; CHECK-NEXT: vekt E152: ["{{.*}}repeat-operand-errors.asm" [[@LINE-4]]] cannot evaluate expression for .DUP directive
 .DUP "s"
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E157: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] integer expression expected for .DUP directive
 .DUP 1/0
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E152: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] cannot evaluate expression for .DUP directive
 .DUPA v
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E112: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] syntax error: expected comma
 .DUPA 3,a
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E198: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] expected symbol name for .DUPA directive
 .DUPA v,'a
 nop
 .ENDM
; CHECK-NEXT: vekt E214: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] unterminated string literal
 .DUPC c,x
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E238: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] string value expected
 .DUPC c,"ab" x
 nop
 .ENDM
; CHECK-NEXT: vekt E172: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] additional characters found after instruction or directive
 .DUPF i
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E112: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] syntax error: expected comma
 .DUPF i,1,
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E113: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] syntax error: expected expression
 .DUPF i,1,2 x
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E172: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] additional characters found after instruction or directive
 .DUPF i,1,"a",2
 .ENDIF
 .ENDM
; CHECK-NEXT: vekt E157: ["{{.*}}repeat-operand-errors.asm" [[@LINE-3]]] integer expression expected for .DUPF directive
; CHECK-NOT:  {{.}}
