; A generic conditional jump or loop to an equate of another section's label assembles as
; the same jump with the label written in place: the inverted short jump around a "j", not
; the 15-bit form, whether the equate names the label, the label plus an offset, an alias
; or another equate, and whether the label's section is relocatable or placed. %t.place.asm
; is this source with each equate's value written in place of its name.
; RUN: sed -e 's/,A$/,rlab/' -e 's/,B$/,plab/' -e 's/,C$/,rlab+2/' -e 's/,D$/,plab/' -e 's/,F$/,plab+2/' %s > %t.place.asm
; RUN: %vekt %s -o %t.o 2>&1 | count 0
; RUN: %vekt %t.place.asm -o %t.place.o 2>&1 | count 0
; RUN: llvm-readelf -x .text.r -x .text.p -r %t.o > %t.equate.txt
; RUN: llvm-readelf -x .text.r -x .text.p -r %t.place.o > %t.place.txt
; RUN: diff %t.equate.txt %t.place.txt
; RUN: FileCheck %s --check-prefixes=RELOC,RBYTES,PBYTES < %t.equate.txt
; Absolute output gives the same: a jump to a label of a section not placed at an
; address is E250 at the same lines, through the equate or in place.
; RUN: not %vekt -a %s -o %t.abs.o 2>&1 | sed 's/\["[^"]*"/["src"/' > %t.equate.abs.txt
; RUN: not %vekt -a %t.place.asm -o %t.place.abs.o 2>&1 | sed 's/\["[^"]*"/["src"/' > %t.place.abs.txt
; RUN: diff %t.equate.abs.txt %t.place.abs.txt
; RUN: FileCheck %s --check-prefix=ABS < %t.equate.abs.txt
; ABS: vekt E250: ["src" 84] expression contains unresolved symbols
; A 24-bit relocation (type 3) for each "j", none of the 15-bit kind (type 0x0b).
; RELOC-LABEL: Relocation section '.rela.text.r' {{.*}} contains 15 entries:
; RELOC-NEXT:  Offset
; RELOC-NEXT:  00000002 {{[0-9a-f]+}}03 {{.*}} .data.r + 4
; RELOC-NEXT:  00000008 {{[0-9a-f]+}}03 {{.*}} .data.p + 4
; RELOC-NEXT:  00000010 {{[0-9a-f]+}}03 {{.*}} .data.r + 6
; RELOC-NEXT:  00000018 {{[0-9a-f]+}}03 {{.*}} .data.p + 4
; RELOC-NEXT:  00000020 {{[0-9a-f]+}}03 {{.*}} .data.p + 6
; RELOC-NEXT:  00000028 {{[0-9a-f]+}}03 {{.*}} .data.r + 4
; RELOC-NEXT:  00000030 {{[0-9a-f]+}}03 {{.*}} .data.p + 4
; RELOC-NEXT:  00000038 {{[0-9a-f]+}}03 {{.*}} .data.r + 6
; RELOC-NEXT:  00000040 {{[0-9a-f]+}}03 {{.*}} .data.p + 4
; RELOC-NEXT:  00000048 {{[0-9a-f]+}}03 {{.*}} .data.p + 6
; RELOC-NEXT:  0000004e {{[0-9a-f]+}}03 {{.*}} .data.r + 4
; RELOC-NEXT:  00000054 {{[0-9a-f]+}}03 {{.*}} .data.p + 4
; RELOC-NEXT:  0000005c {{[0-9a-f]+}}03 {{.*}} .data.r + 6
; RELOC-NEXT:  00000064 {{[0-9a-f]+}}03 {{.*}} .data.p + 4
; RELOC-NEXT:  0000006e {{[0-9a-f]+}}03 {{.*}} .data.p + 6
; The placed section reaches the placed label itself; the relocatable one by relocation.
; RELOC-LABEL: Relocation section '.rela.text.p' {{.*}} contains 6 entries:
; RELOC-NEXT:  Offset
; RELOC-NEXT:  00000002 {{[0-9a-f]+}}03 {{.*}} .data.r + 4
; RELOC-NEXT:  00000010 {{[0-9a-f]+}}03 {{.*}} .data.r + 6
; RELOC-NEXT:  00000028 {{[0-9a-f]+}}03 {{.*}} .data.r + 4
; RELOC-NEXT:  00000038 {{[0-9a-f]+}}03 {{.*}} .data.r + 6
; RELOC-NEXT:  0000004e {{[0-9a-f]+}}03 {{.*}} .data.r + 4
; RELOC-NEXT:  0000005c {{[0-9a-f]+}}03 {{.*}} .data.r + 6
; Every row the inverted 16- or 32-bit jump over a "j" (1d); a loop is jz.a over
; add16.a, j, and the add16.a again.
; RBYTES-LABEL: Hex dump of section '.text.r':
; RBYTES-NEXT:  0x00000000 5e131d00 00001ee3 1d000000 bf420400
; RBYTES-NEXT:  0x00000010 1d000000 ff830400 1d000000 5f650480
; RBYTES-NEXT:  0x00000020 1d000000 5f210400 1d000000 3f430400
; RBYTES-NEXT:  0x00000030 1d000000 7f870480 1d000000 7d540480
; RBYTES-NEXT:  0x00000040 1d000000 7d760400 1d000000 7c231d00
; RBYTES-NEXT:  0x00000050 0000bc33 1d000000 6f310480 1d000000
; RBYTES-NEXT:  0x00000060 bc24b0f2 1d000000 b0f2bc34 b0f31d00
; RBYTES-NEXT:  0x00000070 0000b0f3
; PBYTES-LABEL: Hex dump of section '.text.p':
; PBYTES-NEXT:  0x00002000 5e131d00 00001ee3 1d00fe37 bf420400
; PBYTES-NEXT:  0x00002010 1d000000 ff830400 1d00f637 5f650480
; PBYTES-NEXT:  0x00002020 1d00f337 5f210400 1d000000 3f430400
; PBYTES-NEXT:  0x00002030 1d00ea37 7f870480 1d000000 7d540480
; PBYTES-NEXT:  0x00002040 1d00e237 7d760400 1d00df37 7c231d00
; PBYTES-NEXT:  0x00002050 0000bc33 1d00d837 6f310480 1d000000
; PBYTES-NEXT:  0x00002060 bc24b0f2 1d00d037 b0f2bc34 b0f31d00
; PBYTES-NEXT:  0x00002070 cc37b0f3
 .SDECL ".text.r",CODE
 .SDECL ".text.p",CODE AT 0x2000
 .SDECL ".data.r",DATA
 .SDECL ".data.p",DATA AT 0x9000
A .EQU rlab
B .EQU plab
C .EQU rlab+2
D .ALIAS plab
E2 .EQU plab+2
F .EQU E2
 .SECT ".data.r"
 .WORD 0
rlab: .WORD 0
 .SECT ".data.p"
 .WORD 0
plab: .WORD 0
 .SECT ".text.r"
 jeq d15,#1,A
 jne d15,#-2,B
 jge d2,#4,C
 jlt d3,#-8,D
 jeq d5,d6,F
 jne d1,d2,A
 jge d3,d4,B
 jlt.u d7,d8,C
 jeq.a a4,a5,D
 jne.a a6,a7,F
 jz.a a2,A
 jnz.a a3,B
 jz.t d1:3,C
 loop a2,D
 loop a3,F
 .SECT ".text.p"
 jeq d15,#1,A
 jne d15,#-2,B
 jge d2,#4,C
 jlt d3,#-8,D
 jeq d5,d6,F
 jne d1,d2,A
 jge d3,d4,B
 jlt.u d7,d8,C
 jeq.a a4,a5,D
 jne.a a6,a7,F
 jz.a a2,A
 jnz.a a3,B
 jz.t d1:3,C
 loop a2,D
 loop a3,F
