 .PREVIOUS
 .SDECL "a",DATA
 .SDECL "b",DATA
 .SECT "a"
 .PREVIOUS
 .SECT "b"
 .PREVIOUS
 .WORD 1
 .PREVIOUS
; .PREVIOUS returns once to the section before the last switch: not while no section
; is active (E178), nor to the state before the first switch, nor twice (E291).
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E178: ["{{.*}}previous.asm" 1] unmatched .PREVIOUS directive found
; CHECK-NEXT: vekt E291: ["{{.*}}previous.asm" 5] no previous section definition found
; CHECK-NEXT: vekt E291: ["{{.*}}previous.asm" 9] no previous section definition found
; CHECK-NEXT: status 1
