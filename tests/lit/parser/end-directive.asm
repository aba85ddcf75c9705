 .END junk
; Text after .END on its own line is E172; the source ends there all the same.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check %s > %t.default 2>&1; echo "status $?" >> %t.default
; RUN: FileCheck --match-full-lines %s < %t.default
; CHECK:      vekt E172: ["{{.*}}end-directive.asm" 1] additional characters found after instruction or directive
; CHECK-NEXT: status 1
