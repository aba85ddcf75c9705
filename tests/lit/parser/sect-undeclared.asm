 .SECT ".nope"
 .SDECL ".text",CODE
 .SECT ".Text"
 .SECT ".text"
; .SECT reaches only declared sections, and names compare with their letter case.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E701: ["{{.*}}sect-undeclared.asm" 1] section ".nope" is not defined
; CHECK-NEXT: vekt E701: ["{{.*}}sect-undeclared.asm" 3] section ".Text" is not defined
; CHECK-NEXT: status 1
