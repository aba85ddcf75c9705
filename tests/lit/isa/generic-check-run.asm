 .SDECL ".text",CODE
 .SECT ".text"
top:
 jeq d0,#3,far
 jne d1,d2,top
 loop a2,top
 jz.t d4:3,far
 nop d0
 .SPACE 40000
far:
 jlt d0,d1,top
 loopu top
 jnei d3,d4,far
 nop d1
; A run that only checks the source settles each generic statement without writing its
; lines: it reports what a full assembly reports about the source, at the same lines.
; RUN: not %vekt --check %s > %t.check 2>&1
; RUN: not %vekt -o %t.o %s > %t.full 2>&1
; RUN: diff %t.check %t.full
; RUN: FileCheck --match-full-lines %s < %t.check
; CHECK:      vekt E172: ["{{.*}}generic-check-run.asm" 8] additional characters found after instruction or directive
; CHECK-NEXT: vekt E172: ["{{.*}}generic-check-run.asm" 14] additional characters found after instruction or directive
; CHECK-NOT:  {{.}}
