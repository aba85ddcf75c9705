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
