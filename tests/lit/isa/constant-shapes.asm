 .SDECL ".text",CODE
 .SECT ".text"
 mov d1,#500
 mov d1,#5
 mov d1,#65535
 mov d1,#-5
 mov d1,#-500
 ld.w d1,[a2+]8
 ld.w d1,[a2+]4
 ld.w d1,[a2]8
 ld.w d1,[a2]600
 ld.w d1,[a2]40000
 mov d1,#0x7 ; a comment
 mov d1,#0x7fff ; another
 insert d1,d2,#3,#4,#5
 insert d1,d2,#15,#30,#2
 .RADIX 16
 mov d1,#5
 mov d1,#12
; Statements that differ only in the values of their numbers, or in their comments, each
; take the form that their own values call for: the short form for a small value, the long
; one for a larger, the warning of a large offset, the form written with that very number
; ("[a2+]4"), hexadecimal as decimal, every number of a statement with several, and the
; radix of the line.
; RUN: %vekt -o %t.o %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --match-full-lines %s < %t.out
; RUN: readelf -x .text %t.o | FileCheck %s --check-prefix=ELF
; CHECK:      vekt W230: ["{{.*}}constant-shapes.asm" 12] offset is in range [32768:65535], but should be in range [-32768:32767]
; CHECK-NEXT: status 0
; ELF:      Hex dump of section '.text':
; ELF-NEXT:   0x00000000 3b401f10 82513bf0 ff1f82b1 3bc0e01f ;@...Q;.....;...
; ELF-NEXT:   0x00000010 09210801 44210921 08091921 18901921 .!..D!.!...!...!
; ELF-NEXT:   0x00000020 c0198271 3bf0ff17 b7320512 b7f2021f ...q;....2......
; ELF-NEXT:   0x00000030 82513b20 0110                       .Q; ..
