; With local symbols in the debug information, the labels and the equate are named
; twice: once among the module's names of part 3 (I0x20 and N0x21 on) and once as
; variables of the debug part. The debug part's names take numbers after the last
; name of part 3, so that no N number stands for two names. The assembler-module
; block holds one block for the code section, closed with its size, and the whole
; module reads back record by record.
; RUN: rm -f %t.695 %t.o
; RUN: %ieee-probe %t.695 %s -g -gl -o %t.o 2>&1 | count 0
; RUN: %ieee-probe --dump %t.695 | FileCheck %s
 .SDECL ".text",CODE
 .SECT ".text"
 .GLOBAL main
main:
lab1:
 nop
lab2:
 ret
depth .EQU 3

; CHECK:      E8 NI I0x20 "main"
; CHECK:      F0 NN N0x21 "lab1"
; CHECK:      F0 NN N0x22 "lab2"
; CHECK:      F0 NN N0x23 "
; CHECK:      F8 BB 0x3 0x0 "ieee-debug-names" []
; CHECK-NEXT: F0 NN N0x24 "lab1"
; CHECK-NEXT: F1 AT N0x24 0x0 0x82 0x0 [D2 01]
; CHECK-NEXT: E2 AS N0x24 [D2 01]
; CHECK-NEXT: F0 NN N0x25 "lab2"
; CHECK-NEXT: F1 AT N0x25 0x0 0x82 0x0 [D2 01 02 A5]
; CHECK-NEXT: E2 AS N0x25 [D2 01 02 A5]
; CHECK-NEXT: F0 NN N0x26 "depth"
; CHECK:      F9 BE []
; CHECK-NEXT: F8 BB 0xA 0x0 "ieee-debug-names" [14 69 65 65 65 2D 64 65 62 75 67 2D 6E 61 6D 65 73 2E 61 73 6D 00 {{[0-7][0-9A-F]( [0-9A-F]{2})*}}]
; CHECK-NEXT: F8 BB 0xB 0x0 ".text" [01 01 D2 01]
; CHECK-NEXT: F9 BE [04]
; CHECK-NEXT: F9 BE []
; CHECK-NEXT: E5 SB 0x1
; CHECK:      E1 ME
; CHECK:      part 4 at 0x{{[0-9A-F]+}}: F8
