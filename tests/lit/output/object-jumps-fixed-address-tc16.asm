; On TC1.6: fcall, and the short jumps whose field counts from 16 halfwords on, in a
; section at a fixed address reach a number as a label at that address does.
; ".text.e" jumps to numbers, ".text.f" to labels at the same offsets.
; RUN: %vekt --core=tc1.6 %s -o %t.o 2>&1 | count 0
; RUN: objdump -s -j .text.e %t.o | FileCheck %s
; RUN: objdump -s -j .text.f %t.o | FileCheck %s
; RUN: %vekt --core=tc1.6 -a %s -o %t.abs.o 2>&1 | count 0
; RUN: objdump -s -j .text.e %t.abs.o | FileCheck %s
; RUN: objdump -s -j .text.f %t.abs.o | FileCheck %s
	.sdecl ".text.e",code AT 0x5000
	.sect ".text.e"
	fcall 0x5030            ; 0x00
	jeq d15,#1,0x502a       ; 0x04  SBC, disp4 from 16 halfwords on
	jne d15,d2,0x502a       ; 0x06  SBR, likewise
	jeq d15,d2,0x5030       ; 0x08
	.space 0x20
	nop                     ; 0x2a
	nop
	nop
	nop                     ; 0x30

	.sdecl ".text.f",code AT 0x6000
	.sect ".text.f"
	fcall f40
	jeq d15,#1,f30
	jne d15,d2,f30
	jeq d15,d2,f40
	.space 0x20
f30:	nop
	nop
	nop
f40:	nop

; CHECK:      {{[56]}}000 61001800 9e13fe22 be240000 00000000
; CHECK-NEXT: {{[56]}}010 00000000 00000000 00000000 00000000
; CHECK-NEXT: {{[56]}}020 00000000 00000000 00000000 00000000
; CHECK-NEXT: {{[56]}}030 0000 ..
