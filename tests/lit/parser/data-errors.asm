 .SDECL ".data",DATA
 .SECT ".data"
 .ASCII 5
 .ASCIIZ "ok", 1+1, "fine"
 .ASCII
 .ASCII "a",
 .BYTE 1+
 .WORD 1 2
 .FLOAT (1
; .ASCII and .ASCIIZ take texts only (E238 for each other operand, the line's data
; still laid down) and have no empty operands. An operand that does not parse is
; E134 with the parser's text, or E113 when there is none.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E238: ["{{.*}}data-errors.asm" 3] string value expected
; CHECK-NEXT: vekt E238: ["{{.*}}data-errors.asm" 4] string value expected
; CHECK-NEXT: vekt E113: ["{{.*}}data-errors.asm" 5] syntax error: expected expression
; CHECK-NEXT: vekt E113: ["{{.*}}data-errors.asm" 6] syntax error: expected expression
; CHECK-NEXT: vekt E134: ["{{.*}}data-errors.asm" 7] error in expression: unexpected character in expression
; CHECK-NEXT: vekt E172: ["{{.*}}data-errors.asm" 8] additional characters found after instruction or directive
; CHECK-NEXT: vekt E134: ["{{.*}}data-errors.asm" 9] error in expression: unexpected character in expression
; CHECK-NEXT: status 1
