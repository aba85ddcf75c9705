 .RADIX 12
; A radix other than 2, 8, 10 or 16 is reported once, whichever preprocessor reads the
; line first.
; RUN: %vekt --check %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check --preprocessor-type=none %s > %t.none 2>&1; echo "status $?" >> %t.none
; RUN: FileCheck --match-full-lines %s < %t.none
; CHECK:      vekt E117: ["{{.*}}radix-once.asm" 1] syntax error: expected number radix expression
; CHECK-NEXT: status 1
