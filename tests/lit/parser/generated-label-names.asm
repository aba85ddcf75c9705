 .SDECL ".text",CODE
 .SECT ".text"
__T4294967295:
 jeq d0,#3,far
 jne d1,#2,far
__t4294967294 .EQU 1
 .SPACE 100000
far:
 nop
; The names of the labels that generic instructions generate ("__T" and digits) are kept
; for them: a source line that defines one is refused, and the generated labels stay apart
; from the source's names.
; Expected to fail until the statement parser refuses such definitions with
; isa::refuseGeneratedLabelName.
; RUN: %vekt --check %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E110: ["{{.*}}generated-label-names.asm" 3] "__T4294967295" is reserved for labels the assembler generates
; CHECK-NEXT: vekt E110: ["{{.*}}generated-label-names.asm" 6] "__t4294967294" is reserved for labels the assembler generates
; CHECK-NEXT: status 1
