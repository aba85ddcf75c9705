; Assembled with -g, the module's debug part holds what the assembler recorded: one
; module, whose types block is empty and whose scope block names the two equates
; (numbered after the names of part 3, from 33). Equates have no address, so neither
; gets an address assignment. The assembler-module block carries, after the module's
; name, the input file's name, the tool type 0 (unspecified) and the tool's version
; text, each name with its length in front; inside it the module's one assembler
; section has a block of its own with its kind (2, data), its section index and base
; R1, closed with the section's size. The part offset points at the first block.
; Without -g there is no debug part: its offset is 0.
; RUN: rm -f %t.695 %t.o %t-plain.695 %t-plain.o
; RUN: %ieee-probe %t.695 %s -g -o %t.o 2>&1 | count 0
; RUN: %ieee-probe --dump %t.695 | FileCheck %s
; RUN: %ieee-probe %t-plain.695 %s -o %t-plain.o 2>&1 | count 0
; RUN: %ieee-probe --dump %t-plain.695 | FileCheck %s --check-prefix=PLAIN
limit .EQU 5
size .EQU limit*2
 .SDECL ".data",DATA
 .SECT ".data"
 .WORD limit

; CHECK:      {{0*}}[[PART4:[1-9A-F][0-9A-F]*]] F8 BB 0x1 0x0 "ieee-debug-part" []
; CHECK-NEXT: {{[0-9A-F]+}} F9 BE []
; CHECK-NEXT: {{[0-9A-F]+}} F8 BB 0x3 0x0 "ieee-debug-part" []
; CHECK-NEXT: {{[0-9A-F]+}} F0 NN N0x21 "limit"
; CHECK-NEXT: {{[0-9A-F]+}} F1 AT N0x21 0x0 0x0 0x0 []
; CHECK-NEXT: {{[0-9A-F]+}} F0 NN N0x22 "size"
; CHECK-NEXT: {{[0-9A-F]+}} F1 AT N0x22 0x0 0x0 0x0 []
; CHECK-NEXT: {{[0-9A-F]+}} F9 BE []
; CHECK-NEXT: {{[0-9A-F]+}} F8 BB 0xA 0x0 "ieee-debug-part" [13 69 65 65 65 2D 64 65 62 75 67 2D 70 61 72 74 2E 61 73 6D 00 {{[0-7][0-9A-F]( [0-9A-F]{2})*}}]
; CHECK-NEXT: {{[0-9A-F]+}} F8 BB 0xB 0x0 ".data" [02 01 D2 01]
; CHECK-NEXT: {{[0-9A-F]+}} F9 BE [04]
; CHECK-NEXT: {{[0-9A-F]+}} F9 BE []
; CHECK-NEXT: {{[0-9A-F]+}} E5 SB 0x1
; CHECK:      part 4 at 0x[[PART4]]: F8

; PLAIN-NOT:  F8 BB
; PLAIN:      part 4 at 0x0: none
