 .WEAK w
A .SET later
B .SET w+1
C .SET A
 .EXTERN e
D .SET e
U .EQU later
later .EQU 3
F .SET later
; The value of .SET must be known where it stands: a symbol defined further down, or
; a weak one without a definition, is a forward reference (E173); an external symbol
; is not. .EQU may refer forward.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E173: ["{{.*}}set-forward-reference.asm" 2] expression does not allow forward references
; CHECK-NEXT: vekt E173: ["{{.*}}set-forward-reference.asm" 3] expression does not allow forward references
; CHECK-NEXT: vekt E173: ["{{.*}}set-forward-reference.asm" 4] expression does not allow forward references
; CHECK-NEXT: status 1
