; A jump or loop in a section at a fixed address whose target lies beyond its field takes
; its generic expansion: the inverted condition over a jump to the target. Every form
; gives the same bytes whether its target is an equate defined before the section
; (".text.g"), a number (".text.h") or an equate defined after the jumps (".text.i"),
; each 64K past its section's start.
; RUN: %vekt %s -o %t.o 2>&1 | count 0
; RUN: objdump -s -j .text.g %t.o | FileCheck %s
; RUN: objdump -s -j .text.h %t.o | FileCheck %s
; RUN: objdump -s -j .text.i %t.o | FileCheck %s
; RUN: %vekt -a %s -o %t.abs.o 2>&1 | count 0
; RUN: objdump -s -j .text.g %t.abs.o | FileCheck %s
; RUN: objdump -s -j .text.h %t.abs.o | FileCheck %s
; RUN: objdump -s -j .text.i %t.abs.o | FileCheck %s
; RUN: readelf -r %t.o | FileCheck %s --check-prefix=NORELOC
; NORELOC: There are no relocations in this file.

; The reproducer: jne to an equate 0x8000 ahead, defined before the section.
; RUN: printf 'tq\t.EQU 0x9000\n\t.sdecl ".text",code AT 0x1000\n\t.sect ".text"\n\tjne d1,d2,tq\n' > %t.one.asm
; RUN: %vekt %t.one.asm -o %t.one.o 2>&1 | count 0
; RUN: llvm-readelf -x .text -r %t.one.o | FileCheck %s --check-prefix=ONE
; RUN: %vekt -a %t.one.asm -o %t.one.abs.o 2>&1 | count 0
; RUN: llvm-readelf -x .text -r %t.one.abs.o | FileCheck %s --check-prefix=ONE
; ONE:      There are no relocations in this file.
; ONE:      0x00001000 5f210400 1d00fe3f

before	.EQU 0x11000

	.sdecl ".text.g",code AT 0x1000
	.sect ".text.g"
	jeq d1,#1,before
	jne d1,#1,before
	jge d1,#1,before
	jlt d1,#1,before
	jned d1,#1,before
	jnei d1,#1,before
	jge.u d1,#1,before
	jlt.u d1,#1,before
	jnz.t d1:3,before
	jz.t d1:3,before
	loop a2,before
	jeq.a a2,a3,before
	jne.a a2,a3,before
	jnz.a a2,before
	jz.a a2,before
	jeq d1,d2,before
	jne d1,d2,before
	jge d1,d2,before
	jlt d1,d2,before
	jge.u d1,d2,before
	jlt.u d1,d2,before
	jned d1,d2,before
	jnei d1,d2,before
	loopu before
	jeq d15,#1,before
	jne d15,d2,before
	jz.t d15:3,before
	jeq d2,#0,before
	jlt.u d2,#1,before
	jge.u d2,#1,before

	.sdecl ".text.h",code AT 0x2000
	.sect ".text.h"
	jeq d1,#1,0x12000
	jne d1,#1,0x12000
	jge d1,#1,0x12000
	jlt d1,#1,0x12000
	jned d1,#1,0x12000
	jnei d1,#1,0x12000
	jge.u d1,#1,0x12000
	jlt.u d1,#1,0x12000
	jnz.t d1:3,0x12000
	jz.t d1:3,0x12000
	loop a2,0x12000
	jeq.a a2,a3,0x12000
	jne.a a2,a3,0x12000
	jnz.a a2,0x12000
	jz.a a2,0x12000
	jeq d1,d2,0x12000
	jne d1,d2,0x12000
	jge d1,d2,0x12000
	jlt d1,d2,0x12000
	jge.u d1,d2,0x12000
	jlt.u d1,d2,0x12000
	jned d1,d2,0x12000
	jnei d1,d2,0x12000
	loopu 0x12000
	jeq d15,#1,0x12000
	jne d15,d2,0x12000
	jz.t d15:3,0x12000
	jeq d2,#0,0x12000
	jlt.u d2,#1,0x12000
	jge.u d2,#1,0x12000

	.sdecl ".text.i",code AT 0x3000
	.sect ".text.i"
	jeq d1,#1,after
	jne d1,#1,after
	jge d1,#1,after
	jlt d1,#1,after
	jned d1,#1,after
	jnei d1,#1,after
	jge.u d1,#1,after
	jlt.u d1,#1,after
	jnz.t d1:3,after
	jz.t d1:3,after
	loop a2,after
	jeq.a a2,a3,after
	jne.a a2,a3,after
	jnz.a a2,after
	jz.a a2,after
	jeq d1,d2,after
	jne d1,d2,after
	jge d1,d2,after
	jlt d1,d2,after
	jge.u d1,d2,after
	jlt.u d1,d2,after
	jned d1,d2,after
	jnei d1,d2,after
	loopu after
	jeq d15,#1,after
	jne d15,d2,after
	jz.t d15:3,after
	jeq d2,#0,after
	jlt.u d2,#1,after
	jge.u d2,#1,after

after	.EQU 0x13000

; CHECK:      {{[123]}}000 df110480 1d00fe7f df110400 1d00fa7f
; CHECK-NEXT: {{[123]}}010 8e131d00 f77f4e13 1d00f47f df110500
; CHECK-NEXT: {{[123]}}020 c2f11d00 ef7fc2f1 df110500 c2111d00
; CHECK-NEXT: {{[123]}}030 e97fc211 76131d00 e57ff613 1d00e27f
; CHECK-NEXT: {{[123]}}040 6f310400 1d00de7f 6f310480 1d00da7f
; CHECK-NEXT: {{[123]}}050 bc24b0f2 1d00d67f b0f27d32 04801d00
; CHECK-NEXT: {{[123]}}060 d17f7d32 04001d00 cd7fbc23 1d00ca7f
; CHECK-NEXT: {{[123]}}070 7c231d00 c77f5f21 04801d00 c37f5f21
; CHECK-NEXT: {{[123]}}080 04001d00 bf7f3f21 04001d00 bb7f7f21
; CHECK-NEXT: {{[123]}}090 04001d00 b77f3f21 04801d00 b37f7f21
; CHECK-NEXT: {{[123]}}0a0 04801d00 af7f5f21 0500c2f1 1d00aa7f
; CHECK-NEXT: {{[123]}}0b0 c2f15f21 0500c211 1d00a47f c2111d00
; CHECK-NEXT: {{[123]}}0c0 a17f5e13 1d009e7f 3e231d00 9b7fae33
; CHECK-NEXT: {{[123]}}0d0 1d00987f f6231d00 957ff623 1d00927f
; CHECK-NEXT: {{[123]}}0e0 76231d00 8f7f
