lab: .WORD 1
 .WORD 2
; A label before any section opens the default section, and the data on its line and
; after it goes there: the default section is opened once.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt W179: ["{{.*}}label-opens-section.asm" 1] no active section, default section activated
; CHECK-NEXT: status 0
