 .SDECL ".text",CODE
 .SECT ".text"
 .IF @DEF(__T4294967295)
 nop
 .ENDIF
 jne d1,d2,FAR
 .IF @MAC(__t4294967294)
 nop
 .ENDIF
FAR: nop
; Asking by name after a generated label's name reports it as reserved and makes no
; symbol under it, which the generic jump's label would otherwise take over.
; RUN: rm -f %t.o; %vekt -o %t.o %s > %t 2>&1; echo "status $?" >> %t; test -e %t.o || echo "no object" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E110: ["{{.*}}generated-label-query.asm" 3] "__T4294967295" is reserved for labels the assembler generates
; CHECK-NEXT: vekt E110: ["{{.*}}generated-label-query.asm" 7] "__t4294967294" is reserved for labels the assembler generates
; CHECK-NEXT: status 1
; CHECK-NEXT: no object
