 .GLOBAL x
 .LOCAL x
 .GLOBAL x, x
 .WEAK x
 .LOCAL w
 .WEAK w
 .EXTERN w, e
l: .WORD 0
 .EXTERN l
n .EQU 1
 .EXTERN n
; A binding that contradicts an earlier one names it and its line (E169); the other
; names of the statement are still bound. An external name must not be defined here
; (E168 for a label, E169 for an equate). A local name never defined is E205 at its
; binding, after the parse.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E169: ["{{.*}}binding-conflict.asm" 2] local symbol "x" already defined as global at line 1
; CHECK-NEXT: vekt E205: ["{{.*}}binding-conflict.asm" 5] unknown symbol "w"
; CHECK-NEXT: vekt E169: ["{{.*}}binding-conflict.asm" 6] weak symbol "w" already defined as local at line 5
; CHECK-NEXT: vekt E169: ["{{.*}}binding-conflict.asm" 7] external symbol "w" already defined as local at line 5
; CHECK-NEXT: vekt W179: ["{{.*}}binding-conflict.asm" 8] no active section, default section activated
; CHECK-NEXT: vekt E168: ["{{.*}}binding-conflict.asm" 9] symbol "l" already defined at line 8
; CHECK-NEXT: vekt E169: ["{{.*}}binding-conflict.asm" 11] external symbol "n" already defined as equate at line 10
; CHECK-NEXT: status 1
