; Weak names and long data: a weak external gives NX, AT and WX and no value; a weak
; public gives NI, AT, FC and its value. 300 bytes of data go out as LD records of
; 127, 127 and 46 bytes, after the relocation item of the word that names the weak
; external.
; RUN: rm -f %t.695
; RUN: %ieee-probe %t.695 %s -o %t.o 2>&1 | count 0
; RUN: %ieee-probe --dump %t.695 | FileCheck %s
 .SDECL ".data",DATA
 .WEAK wext, wpub
 .GLOBAL wpub
 .SECT ".data"
wpub:
 .WORD wext
 .SPACE 300

; CHECK:      {{.*}} E8 NI I0x20 "wpub"
; CHECK-NEXT: {{.*}} F1 AT I0x20 0x13 0x82 - []
; CHECK-NEXT: {{.*}} FC FC I0x20
; CHECK-NEXT: {{.*}} E2 AS I0x20 [D2 01]
; CHECK-NEXT: {{.*}} E9 NX X0x21 "wext"
; CHECK-NEXT: {{.*}} F1 AT X0x21 0x13 0x80 - []
; CHECK-NEXT: {{.*}} F4 WX X0x21 []
; CHECK-NEXT: {{.*}} E5 SB 0x1
; CHECK-NEXT: {{.*}} E2 AS P0x1 [D2 01]
; CHECK-NEXT: {{.*}} E4 LR [BE D8 21 BF]
; CHECK-NEXT: {{.*}} ED LD 0x7F 00 {{.*}}
; CHECK-NEXT: {{.*}} ED LD 0x7F 00 {{.*}}
; CHECK-NEXT: {{.*}} ED LD 0x2E 00 {{.*}}
; CHECK-NEXT: {{.*}} E5 SB 0x2
; CHECK:      part 3 at 0x{{[0-9A-F]+}}: E8
; CHECK:      part 5 at 0x{{[0-9A-F]+}}: E5
