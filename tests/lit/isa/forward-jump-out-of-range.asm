; A jump or loop whose label lies beyond its field, ahead of it: with the largest forms
; chosen at once (-OS) the form is taken before the label has a place, and the distance
; is found out of range only when the form is written. That is reported as the relaxing
; layout reports it, never written as a relocation of the section's own label.
; RUN: not %vekt %s -o %t.o 2>&1 | FileCheck %s
; RUN: not %vekt -OS %s -o %t.o 2>&1 | FileCheck %s
; RUN: not %vekt -OS -a %s -o %t.o 2>&1 | FileCheck %s
; RUN: not %vekt -OS -k %s -o %t.kept.o 2>&1 | FileCheck %s
; RUN: llvm-readelf -r %t.kept.o | FileCheck %s --check-prefix=NORELOC
; NORELOC: There are no relocations in this file.

; The reproducers.
; RUN: printf '\t.sdecl ".text",code\n\t.sect ".text"\n\tloop32 a2,lbl\n\tjne32 d1,d2,lbl\n\tjeq32 d1,d2,lbl\n\t.space 40000\nlbl:\tnop\n' > %t.three.asm
; RUN: not %vekt -OS %t.three.asm -o %t.three.o 2>&1 | FileCheck %s --check-prefix=THREE
; RUN: not %vekt -OS -a %t.three.asm -o %t.three.o 2>&1 | FileCheck %s --check-prefix=THREE
; THREE:      vekt E218: ["{{.*}}three.asm" 3] expression out of range (-32768 and 32766 decimal)
; THREE-NEXT: vekt E218: ["{{.*}}three.asm" 4] expression out of range (-32768 and 32766 decimal)
; THREE-NEXT: vekt E218: ["{{.*}}three.asm" 5] expression out of range (-32768 and 32766 decimal)
; THREE-NOT:  {{.}}

	.sdecl ".text",code
	.sect ".text"
	loop32 a2,far
	loopu32 far
	jeq32 d1,#1,far
	jne32 d1,#1,far
	jeq32 d1,d2,far
	jne32 d1,d2,far
	jge32 d1,#1,far
	jlt32 d1,d2,far
	jge32.u d1,#1,far
	jlt32.u d1,d2,far
	jned32 d1,#1,far
	jnei32 d1,d2,far
	jeq32.a a2,a3,far
	jne32.a a2,a3,far
	jz32.a a2,far
	jnz32.a a2,far
	jz32.t d1:3,far
	jnz32.t d1:3,far
	j16 far
	call16 far
	loop16 a2,far
	jz16 d15,far
	jnz16.a a2,far
	.space 40000
far:	nop
; CHECK:      vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 23] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 24] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 25] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 26] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 27] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 28] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 29] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 30] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 31] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 32] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 33] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 34] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 35] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 36] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 37] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 38] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 39] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 40] expression out of range (-32768 and 32766 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 41] expression out of range (-256 and 254 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 42] expression out of range (-256 and 254 decimal)
; CHECK-NEXT: vekt E218: ["{{.*}}forward-jump-out-of-range.asm" 43] expression out of range (-32 and -2 decimal)
; CHECK-NEXT: vekt E219: ["{{.*}}forward-jump-out-of-range.asm" 44] expression out of range (0 and 1E hexadecimal)
; CHECK-NEXT: vekt E219: ["{{.*}}forward-jump-out-of-range.asm" 45] expression out of range (0 and 1E hexadecimal)
; CHECK-NOT:  {{.}}
