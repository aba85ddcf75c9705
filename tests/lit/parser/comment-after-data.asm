 .SDECL ".data",DATA
 .SECT ".data"
 .comment_prefix "//"
 .WORD 1 // a comment, not a division
 .WORD 1, 2 // c, 3
 .comment_prefix ";"
 .WORD 1 // now a division without its right operand
; A data operand ends where the comment prefix begins; once the prefix is ";" again,
; a double slash is two division signs.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check %s > %t.default 2>&1; echo "status $?" >> %t.default
; RUN: FileCheck --match-full-lines %s < %t.default
; CHECK:      vekt E134: ["{{.*}}comment-after-data.asm" 7] error in expression: unexpected character in expression
; CHECK-NEXT: status 1
