; Every label of a macro body is local to each call: it takes the suffix __M_L and
; the call's six-digit expansion number, in its definition and in every use; ^
; before a name keeps it as written. Repeat iterations draw numbers from the same
; counter but never rename. A label on the call line comes first, on a line of its
; own. Checks hold whole lines: the blank after the colon is the line's own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
m .MACRO
lp: nop
 j lp
 j ^lp
  inner: nop
  notalabel nop
 .ENDM
 m
; CHECK:lp__M_L000001: nop
; CHECK-NEXT: j lp__M_L000001
; CHECK-NEXT: j lp
; CHECK-NEXT:  inner__M_L000001: nop
; CHECK-NEXT:  notalabel nop
 .DUP 2
rep: nop
 .ENDM
; CHECK-NEXT:rep: nop
; CHECK-NEXT:rep: nop
here m
; CHECK-NEXT:here:
; CHECK-NEXT:lp__M_L000004: nop
; CHECK-NEXT: j lp__M_L000004
; CHECK-NEXT: j lp
; CHECK-NEXT:  inner__M_L000004: nop
; CHECK-NEXT:  notalabel nop
; CHECK-NEXT:status 0
