; A module from two code sections, a data section, a global label, an external and a
; global equate. The eight part offsets point at the first record of their parts (the
; debug and trailer parts are empty: 0), the records read back, and the data records
; hold the bytes of the object file's sections, with the called external loaded as a
; relocation item over the call's four bytes.
; RUN: rm -f %t.695 %t.o
; RUN: %ieee-probe %t.695 %s -o %t.o 2>&1 | count 0
; RUN: %ieee-probe --dump %t.695 | FileCheck %s
; RUN: readelf -x .text -x .text2 -x .data %t.o | FileCheck %s --check-prefix=ELF
 .SDECL ".text",CODE
 .SDECL ".text2",CODE
 .SDECL ".data",DATA
 .GLOBAL main, VAL
 .EXTERN ext
VAL .EQU 0x1234
 .SECT ".text"
main:
 nop
 call ext
 ret
 .SECT ".text2"
 nop
 nop
 .SECT ".data"
 .WORD 0x11223344, VAL

; CHECK:      000000 E0 MB "TRI" "{{.*}}.o"
; CHECK-NEXT: {{.*}} EC AD 0x8 0x4 L
; CHECK-NEXT: {{.*}} E2 AS W0x0 [84 00 00 {{.. ..}}]
; CHECK-NEXT: {{.*}} E2 AS W0x1 [84 00 00 {{.. ..}}]
; CHECK-NEXT: {{.*}} E2 AS W0x2 [84 00 00 {{.. ..}}]
; CHECK-NEXT: {{.*}} E2 AS W0x3 [84 00 00 {{.. ..}}]
; CHECK-NEXT: {{.*}} E2 AS W0x4 [84 00 00 00 00]
; CHECK-NEXT: {{.*}} E2 AS W0x5 [84 00 00 {{.. ..}}]
; CHECK-NEXT: {{.*}} E2 AS W0x6 [84 00 00 00 00]
; CHECK-NEXT: {{.*}} E2 AS W0x7 [84 00 00 {{.. ..}}]
; CHECK-NEXT: {{.*}} EA CO 0x25 "Object version: 1.2"
; CHECK-NEXT: {{.*}} EA CO 0x26 "Object format: Relocatable"
; CHECK-NEXT: {{.*}} EB DT * * * * * *
; CHECK-NEXT: {{.*}} EA CO 0x33 "{{.*}}ieee-probe {{.*}}ieee-module.asm -o {{.*}}.o"
; CHECK-NEXT: {{.*}} EA CO 0x35 "Comment unavailable"
; CHECK-NEXT: {{.*}} EA CO 0x36 "vekt"
; CHECK-NEXT: {{.*}} E6 ST 0x1 C X W Y0x2 ".text"
; CHECK-NEXT: {{.*}} E7 SA 0x1 0x1 -
; CHECK-NEXT: {{.*}} E2 AS S0x1 [08]
; CHECK-NEXT: {{.*}} E6 ST 0x2 C X W Y0x3 ".text2"
; CHECK-NEXT: {{.*}} E7 SA 0x2 0x1 -
; CHECK-NEXT: {{.*}} E2 AS S0x2 [04]
; CHECK-NEXT: {{.*}} E6 ST 0x3 S I W Y0x4 ".data"
; CHECK-NEXT: {{.*}} E7 SA 0x3 0x1 -
; CHECK-NEXT: {{.*}} E2 AS S0x3 [08]
; CHECK:      {{.*}} E9 NX X0x20 "ext"
; CHECK-NEXT: {{.*}} F1 AT X0x20 0x13 0x80 - []
; CHECK-NEXT: {{.*}} E8 NI I0x21 "VAL"
; CHECK-NEXT: {{.*}} F1 AT I0x21 0x13 0x80 - []
; CHECK-NEXT: {{.*}} E2 AS I0x21 [82 12 34]
; CHECK-NEXT: {{.*}} E8 NI I0x22 "main"
; CHECK-NEXT: {{.*}} F1 AT I0x22 0x13 0x82 - []
; CHECK-NEXT: {{.*}} E2 AS I0x22 [D2 01]
; CHECK-NEXT: {{.*}} E5 SB 0x1
; CHECK-NEXT: {{.*}} E2 AS P0x1 [D2 01]
; CHECK-NEXT: {{.*}} ED LD 0x2 00 00
; CHECK-NEXT: {{.*}} E4 LR [BE D8 20 BF]
; CHECK-NEXT: {{.*}} ED LD 0x2 00 90
; CHECK-NEXT: {{.*}} E5 SB 0x2
; CHECK-NEXT: {{.*}} E2 AS P0x2 [D2 02]
; CHECK-NEXT: {{.*}} ED LD 0x4 00 00 00 00
; CHECK-NEXT: {{.*}} E5 SB 0x3
; CHECK-NEXT: {{.*}} E2 AS P0x3 [D2 03]
; CHECK-NEXT: {{.*}} ED LD 0x8 44 33 22 11 34 12 00 00
; CHECK:      {{.*}} E1 ME
; CHECK-NEXT: part 0 at 0x{{[0-9A-F]+}}: EA
; CHECK-NEXT: part 1 at 0x{{[0-9A-F]+}}: EA
; CHECK-NEXT: part 2 at 0x{{[0-9A-F]+}}: E6
; CHECK-NEXT: part 3 at 0x{{[0-9A-F]+}}: E9
; CHECK-NEXT: part 4 at 0x0: none
; CHECK-NEXT: part 5 at 0x{{[0-9A-F]+}}: E5
; CHECK-NEXT: part 6 at 0x0: none
; CHECK-NEXT: part 7 at 0x{{[0-9A-F]+}}: E1
; CHECK-NOT:  {{.}}

; ELF:      Hex dump of section '.text':
; ELF:        0x00000000 00006d00 00000090
; ELF:      Hex dump of section '.text2':
; ELF-NEXT:   0x00000000 00000000
; ELF:      Hex dump of section '.data':
; ELF-NEXT:   0x00000000 44332211 34120000
