 .SDECL ".text",CODE
 .SECT ".text"
 mov d1,#10
 swap.w d3,[a2]4
 mov d1,#10
 swap.w d3,[a2]4
 .RADIX 16
 mov d1,#10
 .SDECL ".data",DATA
 .SECT ".data"
 mov d1,#10
 .SECT ".text"
 mov d1,#10
 mov d1,#10 ; the same instruction behind a comment
; A statement written again assembles as it did the first time, and one that drew a
; diagnostic draws it again; a statement after the radix changed reads its number anew,
; and one in another section is encoded there.
; RUN: %vekt -o %t.o %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --match-full-lines %s < %t.out
; RUN: readelf -x .text -x .data %t.o | FileCheck %s --check-prefix=ELF
; CHECK:      vekt W716: ["{{.*}}repeated-statements.asm" 4] Old syntax used. Use: swap.w [Areg],Dreg
; CHECK-NEXT: vekt W716: ["{{.*}}repeated-statements.asm" 6] Old syntax used. Use: swap.w [Areg],Dreg
; CHECK-NEXT: status 0
; ELF:      Hex dump of section '.text':
; ELF-NEXT:   0x00000000 3ba00010 49230408 3ba00010 49230408 ;...I#..;...I#..
; ELF-NEXT:   0x00000010 3b000110 3b000110 3b000110          ;...;...;...
; ELF:      Hex dump of section '.data':
; ELF-NEXT:   0x00000000 3b000110                            ;...
