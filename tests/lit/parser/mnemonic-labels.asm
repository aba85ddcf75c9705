 .SDECL ".text",CODE
 .SECT ".text"
 add: nop
 nop	:
 mov .EQU 5
 xor	.set 7
 sub .ALIAS mov
 add d1,d2
 add	d1 , d2
 ld.w d1,[a2]4
 j .
 .GLOBAL add,nop,mov,sub
; An instruction word after a blank names a label before a colon (behind blanks too),
; and before .EQU, .SET or .ALIAS in any letter case; before operands it is the
; instruction.
; RUN: %vekt -o %t.o %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --match-full-lines %s --check-prefix=STATUS < %t.out
; RUN: readelf -sW %t.o | FileCheck %s --check-prefix=SYM
; RUN: readelf -x .text %t.o | FileCheck %s --check-prefix=TEXT
; STATUS: status 0
; SYM: {{ +}}00000000 0 FUNC GLOBAL DEFAULT {{[0-9]+}} add
; SYM: {{ +}}00000002 0 FUNC GLOBAL DEFAULT {{[0-9]+}} nop
; SYM: {{ +}}00000005 0 NOTYPE GLOBAL DEFAULT ABS mov
; SYM: {{ +}}00000005 0 NOTYPE GLOBAL DEFAULT ABS sub
; TEXT: 0x00000000 00004221 42210921 04091d00 0000
