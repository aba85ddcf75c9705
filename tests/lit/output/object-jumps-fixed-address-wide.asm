; A pc-relative jump, call or loop in a section at a fixed address to a number beyond 32
; bits reaches the address of its low 32 bits, with W298 at each such target: every form
; gives the bytes that a label at that address gives. ".text.a" at 0x1000 jumps to such
; numbers, ".text.b" at 0x2000 to labels at the same offsets; ".text.c" and ".text.d" do
; the same with jumps that repeat one text but for the target, to equates defined after
; them and to labels.
; RUN: %vekt %s -o %t.o 2>&1 | FileCheck %s --check-prefix=WARN
; RUN: objdump -s -j .text.a %t.o | FileCheck %s --check-prefix=FORMS
; RUN: objdump -s -j .text.b %t.o | FileCheck %s --check-prefix=FORMS
; RUN: objdump -s -j .text.c %t.o | FileCheck %s --check-prefix=REPEATED
; RUN: objdump -s -j .text.d %t.o | FileCheck %s --check-prefix=REPEATED
; Absolute output gives the same.
; RUN: %vekt -a %s -o %t.abs.o 2>&1 | FileCheck %s --check-prefix=WARN
; RUN: objdump -s -j .text.a %t.abs.o | FileCheck %s --check-prefix=FORMS
; RUN: objdump -s -j .text.b %t.abs.o | FileCheck %s --check-prefix=FORMS
; RUN: objdump -s -j .text.c %t.abs.o | FileCheck %s --check-prefix=REPEATED
; RUN: objdump -s -j .text.d %t.abs.o | FileCheck %s --check-prefix=REPEATED
; RUN: readelf -r %t.o | FileCheck %s --check-prefix=NORELOC
; NORELOC: There are no relocations in this file.

; The reproducers: three 32-bit forms and a generic to 0x1_0000_1010, and the 16-bit j that
; the range check picks for it, each as a label at 0x1010 gives them, with no relocation.
; RUN: printf '\t.sdecl ".text",code AT 0x1000\n\t.sect ".text"\n\tj32 0x100001010\n\tjl 0x100001010\n\tcall32 0x100001010\n\tjne d1,d2,0x100001010\n' > %t.four.asm
; RUN: %vekt %t.four.asm -o %t.four.o 2>&1 | FileCheck %s --check-prefix=FOURWARN
; RUN: llvm-readelf -x .text -r %t.four.o | FileCheck %s --check-prefix=FOUR
; RUN: %vekt -a %t.four.asm -o %t.four.abs.o 2>&1 | FileCheck %s --check-prefix=FOURWARN
; RUN: llvm-readelf -x .text -r %t.four.abs.o | FileCheck %s --check-prefix=FOUR
; FOURWARN:      vekt W298: ["{{.*}}four.asm" 3] integer value truncated to 32 bits
; FOURWARN-NEXT: vekt W298: ["{{.*}}four.asm" 4] integer value truncated to 32 bits
; FOURWARN-NEXT: vekt W298: ["{{.*}}four.asm" 5] integer value truncated to 32 bits
; FOURWARN-NEXT: vekt W298: ["{{.*}}four.asm" 6] integer value truncated to 32 bits
; FOURWARN-NOT:  {{.}}
; FOUR:      There are no relocations in this file.
; FOUR:      0x00001000 1d000800 5d000600 6d000400 5f210280
; RUN: printf '\t.sdecl ".text",code AT 0x1000\n\t.sect ".text"\n\tj 0x100001010\n' > %t.short.asm
; RUN: %vekt %t.short.asm -o %t.short.o 2>&1 | FileCheck %s --check-prefix=SHORTWARN
; RUN: llvm-readelf -x .text -r %t.short.o | FileCheck %s --check-prefix=SHORT
; SHORTWARN: vekt W298: ["{{.*}}short.asm" 3] integer value truncated to 32 bits
; SHORT:      There are no relocations in this file.
; SHORT:      0x00001000 3c08 <.

	.sdecl ".text.a",code AT 0x1000
	.sect ".text.a"
	nop                     ; 0x00
	loop a2,0x100001000     ; 0x02  loop16
	loop32 a2,0x100001000   ; 0x04
	loopu 0x100001000       ; 0x08  as its one-line expansion, j16
	j 0x100001036           ; 0x0a  j16
	j16 0x100001036         ; 0x0c
	j32 0x100001036         ; 0x0e
	jl 0x100001036          ; 0x12
	call 0x100001036        ; 0x16  call16
	call32 0x100001036      ; 0x18
	jz d15,0x100001036      ; 0x1c  SB
	jeq d15,#1,0x10000102a  ; 0x1e  SBC
	jeq d15,d1,0x10000102a  ; 0x20  SBR
	jz d2,0x10000102a       ; 0x22  SBR
	jz.a a2,0x10000102a     ; 0x24  SBR
	jnz.t d15:3,0x10000102a ; 0x26  SBRN
	jge d2,#1,0x10000102a   ; 0x28  as jgtz
	jne d1,d2,0x100001036   ; 0x2a  BRR
	jeq.a a2,a3,0x100001036 ; 0x2e  BRR
	jnz.t d2:3,0x100001036  ; 0x32  BRN
	jge.u d2,#3,0x100001036 ; 0x36  BRC
	jnei d2,#3,0x100001000  ; 0x3a  BRC, back

	.sdecl ".text.b",code AT 0x2000
	.sect ".text.b"
back:	nop
	loop a2,back
	loop32 a2,back
	loopu back
	j far
	j16 far
	j32 far
	jl far
	call far
	call32 far
	jz d15,far
	jeq d15,#1,near
	jeq d15,d1,near
	jz d2,near
	jz.a a2,near
	jnz.t d15:3,near
	jge d2,#1,near
near:	jne d1,d2,far
	jeq.a a2,a3,far
	jnz.t d2:3,far
far:	jge.u d2,#3,far
	jnei d2,#3,back

; FORMS:      {{[12]}}000 0000fc2f fd20fe7f 3cfc3c16 3c151d00
; FORMS-NEXT: {{[12]}}010 14005d00 12005c10 6d000f00 6e0d1e16
; FORMS-NEXT: {{[12]}}020 3e157624 bc23ae32 4e215f21 06807d32
; FORMS-NEXT: {{[12]}}030 04006f32 0280ff32 00809f32 e37f

	.sdecl ".text.c",code AT 0x3000
	.sect ".text.c"
	jne d4,d4,c1
	jne d4,d4,c2
	jne d4,d4,c3
	j32 c1
	j32 c2
	j32 c3
	jz.a a4,c2
	jz.a a4,c3
	nop
	nop
c1	.EQU 0x100003000
c2	.EQU 0x10000301c
c3	.EQU 0x10000301e

	.sdecl ".text.d",code AT 0x4000
	.sect ".text.d"
d1:	jne d4,d4,d1
	jne d4,d4,d2
	jne d4,d4,d3
	j32 d1
	j32 d2
	j32 d3
	jz.a a4,d2
	jz.a a4,d3
d2:	nop
d3:	nop

; REPEATED:      {{[34]}}000 5f440080 5f440c80 5f440b80 1dfffaff
; REPEATED-NEXT: {{[34]}}010 1d000600 1d000500 bc42bc42 00000000

; One warning at each jump to a number or an equate beyond 32 bits, none at a label.
; WARN:      vekt W298: ["{{.*}}wide.asm" 45] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 46] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 47] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 48] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 49] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 50] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 51] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 52] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 53] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 54] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 55] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 56] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 57] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 58] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 59] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 60] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 61] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 62] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 63] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 64] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 65] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 99] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 100] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 101] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 102] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 103] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 104] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 105] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 106] integer value truncated to 32 bits
; WARN-NOT:  {{.}}
