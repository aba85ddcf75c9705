 .SDECL "ovl",DATA,max
 .SDECL "plain",DATA
 .SECT "ovl", RESET
 .WORD 1
 .SECT "plain",reset
 .WORD 2
; RESET restarts a section with the max attribute; on any other section it is W700
; and the switch still happens (the word after it lands in "plain", without a
; message).
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt W700: ["{{.*}}sect-reset.asm" 5] section "plain" has no "MAX" attribute; "RESET" will be ignored
; CHECK-NEXT: status 0
