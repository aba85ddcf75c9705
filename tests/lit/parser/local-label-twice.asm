1:
1:
10:
; A numbered local label may be defined again and again: each definition is a symbol of
; its own, so only the default section is reported.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check %s > %t.default 2>&1; echo "status $?" >> %t.default
; RUN: FileCheck --match-full-lines %s < %t.default
; CHECK:      vekt W179: ["{{.*}}local-label-twice.asm" 1] no active section, default section activated
; CHECK-NEXT: status 0
