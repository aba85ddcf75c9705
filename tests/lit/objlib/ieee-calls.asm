; Call information: the root main gets the O variable 0, whose value calls the
; functions below it. Each function is named once, with the prefix @, in an NN record
; of the sections part ahead of the assignment; g, reached again from main after f
; called it, adds no second call.
; RUN: rm -f %t.695
; RUN: %ieee-probe %t.695 %s -o %t.o 2>&1 | count 0
; RUN: %ieee-probe --dump %t.695 | FileCheck %s
 .SDECL ".text",CODE
 .SECT ".text"
 .GLOBAL main,f,g
main:
 nop
f:
 nop
g:
 ret
 .CALLS "main","f",16
 .CALLS "main","g",8
 .CALLS "f","g",4

; CHECK:      {{.*}} E2 AS S0x2 [{{.*}}]
; CHECK-NEXT: {{.*}} F0 NN N0x23 "@main"
; CHECK-NEXT: {{.*}} F0 NN N0x24 "@f"
; CHECK-NEXT: {{.*}} F0 NN N0x25 "@g"
; CHECK-NEXT: {{.*}} E2 AS O0x0 [CE 23 CE 24 CE 25 9F 9F]
; CHECK-NEXT: {{.*}} E8 NI I0x20 "main"
; CHECK:      part 2 at 0x{{[0-9A-F]+}}: E6
; CHECK-NEXT: part 3 at 0x{{[0-9A-F]+}}: E8
