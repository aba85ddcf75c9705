; A pc-relative jump, call or loop in a section at a fixed address to a number beyond 32
; bits reaches the address of its low 32 bits, with W298 at each such target: every form
; gives the bytes that a label at that address gives. ".text.a" at 0x1000 jumps to such
; numbers, ".text.b" at 0x2000 to labels at the same offsets; ".text.c" and ".text.d" do
; the same with jumps that repeat one text but for the target, to equates defined after
; them and to labels. The source is the table of object-jumps-fixed-address.asm with
; every number target and equate of ".text.a" and ".text.c" moved up by 2^32.
; RUN: sed '/AT 0x/!s/0x\([13][0-9a-f]\{3\}\)\b/0x10000\1/g' %S/object-jumps-fixed-address.asm > %t.wide.asm
; RUN: %vekt %t.wide.asm -o %t.o 2>&1 | FileCheck %s --check-prefix=WARN
; RUN: objdump -s -j .text.a %t.o | FileCheck %s --check-prefix=FORMS
; RUN: objdump -s -j .text.b %t.o | FileCheck %s --check-prefix=FORMS
; RUN: objdump -s -j .text.c %t.o | FileCheck %s --check-prefix=REPEATED
; RUN: objdump -s -j .text.d %t.o | FileCheck %s --check-prefix=REPEATED
; Absolute output gives the same.
; RUN: %vekt -a %t.wide.asm -o %t.abs.o 2>&1 | FileCheck %s --check-prefix=WARN
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
;
; The bytes of the jumps to numbers (".text.a", ".text.c") equal those to labels
; (".text.b", ".text.d").
; FORMS:      {{[12]}}000 0000fc2f fd20fe7f 3cfc3c16 3c151d00
; FORMS-NEXT: {{[12]}}010 14005d00 12005c10 6d000f00 6e0d1e16
; FORMS-NEXT: {{[12]}}020 3e157624 bc23ae32 4e215f21 06807d32
; FORMS-NEXT: {{[12]}}030 04006f32 0280ff32 00809f32 e37f
; REPEATED:      {{[34]}}000 5f440080 5f440c80 5f440b80 1dfffaff
; REPEATED-NEXT: {{[34]}}010 1d000600 1d000500 bc42bc42 00000000
;
; One warning at each jump to a number or an equate beyond 32 bits, none at a label.
; WARN:      vekt W298: ["{{.*}}wide.asm" 46] integer value truncated to 32 bits
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
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 66] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 100] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 101] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 102] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 103] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 104] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 105] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 106] integer value truncated to 32 bits
; WARN-NEXT: vekt W298: ["{{.*}}wide.asm" 107] integer value truncated to 32 bits
; WARN-NOT:  {{.}}
