 .SDECL ".text",CODE
 .SECT ".text"
top:
 add d1,d2
 jne d1,d2,top
 jne d1,d2,top
 jne d1,d2,top
 jne d1,d2,top
loop:
 add d1,d2
 jne d1,d2,loop
 jne d1,d2,top
 jne d1,d2,loop
 jne d1,d2,top
 add d1,d2
 .IF @DEF('WEAKLOOP')
 .WEAK loop
 .ENDIF
; Jumps back to labels of their own stretch of fixed instructions. Made weak at the end,
; the target takes a relocation and its jumps their long expansion, and the jumps to the
; other label across them are measured with the expansions in place.
; RUN: %vekt -o %t.o %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --match-full-lines %s < %t.out
; RUN: readelf -x .text -r %t.o | FileCheck %s --check-prefix=NEAR
; RUN: %vekt -DWEAKLOOP -o %t-weak.o %s > %t-weak.out 2>&1; echo "status $?" >> %t-weak.out
; RUN: FileCheck --match-full-lines %s < %t-weak.out
; RUN: readelf -x .text -r %t-weak.o | FileCheck %s --check-prefix=WEAK
; With the largest forms chosen the jumps take their expansion as well.
; RUN: %vekt -OS -o %t-largest.o %s > %t-largest.out 2>&1; echo "status $?" >> %t-largest.out
; RUN: FileCheck --match-full-lines %s < %t-largest.out
; RUN: readelf -x .text %t-largest.o | FileCheck %s --check-prefix=LARGEST
; CHECK: status 0
; NEAR:      There are no relocations in this file.
; NEAR:      0x00000000 42215f21 ffff5f21 fdff5f21 fbff5f21 B!_!.._!.._!.._!
; NEAR-NEXT: 0x00000010 f9ff4221 5f21ffff 5f21f4ff 5f21fbff ..B!_!.._!.._!..
; NEAR-NEXT: 0x00000020 5f21f0ff 4221                       _!..B!
; WEAK:      Relocation section '.rela.text' at offset {{.*}} contains 2 entries:
; WEAK:      00000018  00000403 {{.*}} loop + 0
; WEAK-NEXT: 00000024  00000403 {{.*}} loop + 0
; WEAK:      0x00000000 42215f21 ffff5f21 fdff5f21 fbff5f21 B!_!.._!.._!.._!
; WEAK-NEXT: 0x00000010 f9ff4221 5f210400 1d000000 5f21f2ff ..B!_!......_!..
; WEAK-NEXT: 0x00000020 5f210400 1d000000 5f21ecff 4221     _!......_!..B!
; LARGEST:      0x00000000 42215f21 04001dff fdff5f21 04001dff B!_!......_!....
; LARGEST-NEXT: 0x00000010 f9ff5f21 04001dff f5ff5f21 04001dff .._!......_!....
; LARGEST-NEXT: 0x00000020 f1ff4221 5f210400 1dfffdff 5f210400 ..B!_!......_!..
; LARGEST-NEXT: 0x00000030 1dffe8ff 5f210400 1dfff5ff 5f210400 ...._!......_!..
; LARGEST-NEXT: 0x00000040 1dffe0ff 4221                       ....B!
