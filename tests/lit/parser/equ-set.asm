N .EQU 1
N .SET 2
S .SET 1
S .SET S+1
 .SET S S*2
 .EQU M, 5
 .EQU K 6
C: .EQU 7
D: .SET 7
 .EQU
 .EQU 5
Z .EQU 1+
; .EQU defines a name once, .SET again and again; a name defined otherwise cannot be
; set (one E181). Without a label the name comes first, a comma after it being
; optional. A colon after the name is refused (E171).
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E181: ["{{.*}}equ-set.asm" 2] redefinition of a non-.SET symbol
; CHECK-NEXT: vekt E171: ["{{.*}}equ-set.asm" 8] no colon allowed for label with .EQU
; CHECK-NEXT: vekt E171: ["{{.*}}equ-set.asm" 9] no colon allowed for label with .SET
; CHECK-NEXT: vekt E118: ["{{.*}}equ-set.asm" 10] expected <id>
; CHECK-NEXT: vekt E118: ["{{.*}}equ-set.asm" 11] expected <id>
; CHECK-NEXT: vekt E134: ["{{.*}}equ-set.asm" 12] error in expression: unexpected character in expression
; CHECK-NEXT: status 1
