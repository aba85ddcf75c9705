 .SDECL ".text",CODE
 .SECT ".text"
near:
 add d1,d2
 .GLOBAL near
 add d1,d2
 jne d1,d2,near
 jne d1,d2,far
 .EXTERN far
 jne d1,d2,near
 jne d1,d2,far
 .WEAK near
 add d1,d2
 jne d1,d2,far
; A directive that binds symbols between statements of one text leaves the statements
; of registers alone as they were, and a jump after it is made for what its target has
; become: the jumps to the external symbol take their relocations, before and after
; the binding, as does the jump to the label once it is global.
; RUN: %vekt -o %t.o %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --match-full-lines %s < %t.out
; RUN: readelf -x .text -r -s %t.o | FileCheck %s --check-prefix=ELF
; CHECK: status 0
; ELF:      Relocation section '.rela.text' at offset {{.*}} contains 5 entries:
; ELF:      00000008  00000403 {{.*}} near + 0
; ELF-NEXT: 00000010  00000503 {{.*}} far + 0
; ELF-NEXT: 00000018  00000403 {{.*}} near + 0
; ELF-NEXT: 00000020  00000503 {{.*}} far + 0
; ELF-NEXT: 0000002a  00000503 {{.*}} far + 0
; ELF:      4: 00000000     0 FUNC    WEAK   DEFAULT    4 near
; ELF-NEXT: 5: 00000000     0 NOTYPE  GLOBAL DEFAULT  UND far
; ELF:      0x00000000 42214221 5f210400 1d000000 5f210400 B!B!_!......_!..
; ELF-NEXT: 0x00000010 1d000000 5f210400 1d000000 5f210400 ...._!......_!..
; ELF-NEXT: 0x00000020 1d000000 42215f21 04001d00 0000     ....B!_!......
