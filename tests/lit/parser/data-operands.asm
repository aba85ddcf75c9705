 .SDECL ".data",DATA
 .SECT ".data"
 .WORD "ABCD", "ABCDE"
 .HALF "AB", "ABC"
 .BYTE "ABCDEFGH", 0
 .BYTE
 .WORD 1,
 .HALF ,,
 .FLOAT 1.5, 2
 .DOUBLE
 .FRACT 0.5
 .SFRACT -0.25, 
 .ACCUM 2.5
 .ASCIIZ "ab", "c"
; A string operand of .WORD or .HALF is packed into one element; more characters than
; fit are dropped with W215 (the run succeeds). .BYTE keeps all characters. An empty
; operand is the value 0.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt W215: ["{{.*}}data-operands.asm" 3] string value truncated to 4 characters
; CHECK-NEXT: vekt W215: ["{{.*}}data-operands.asm" 4] string value truncated to 2 characters
; CHECK-NEXT: status 0
; Written to an object, the fractions take their bytes (and give back what they held):
; .FRACT 0.5 is 0x40000000, .SFRACT -0.25 0xe000 and its empty operand 0, .ACCUM 2.5
; with 17 integer bits 0x0000a00000000000, each little-endian.
; RUN: %vekt --preprocessor-type=none %s -o %t.o 2> /dev/null
; RUN: readelf -x .data %t.o | FileCheck --check-prefix=BYTES %s
; BYTES:      0x00000030 00000000 00000040 00e00000 00000000 .......@........
; BYTES-NEXT: 0x00000040 00a00000 61620063 00 ....ab.c.
