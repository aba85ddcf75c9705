 .SDECL ".text",CODE
 .SECT ".text"
f:
 nop
 nop
 .TYPE func
 add d0,d1
 .TYPE object
; .TYPE names the label that ends the section's contents: after instructions there is
; none, in a run that only checks the source (which keeps no instruction nodes) as in
; a full one.
; RUN: not %vekt --check %s 2>&1 | FileCheck %s
; RUN: not %vekt %s -o %t.o 2>&1 | FileCheck %s
; CHECK: vekt E142: ["{{.*}}check-run-type-after-instructions.asm" 6] expected label for .TYPE
; CHECK-NEXT: vekt E142: ["{{.*}}check-run-type-after-instructions.asm" 8] expected label for .TYPE
