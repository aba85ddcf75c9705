 .MESSAGE
 .MESSAGE 1 +
 .MESSAGE 1,
lab: .MESSAGE "labelled"
 .MESSAGE 1/0, "still shown"
 .MESSAGE "one" "two"
; A message needs one or more expressions: none is E113, a broken one E134 with the
; parser's text, and then no message is shown. A label is E174. An operand whose value
; is an error is reported and the message still follows. Operands are separated by
; commas.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E113: ["{{.*}}message-operands.asm" 1] syntax error: expected expression
; CHECK-NEXT: vekt E134: ["{{.*}}message-operands.asm" 2] error in expression: unexpected character in expression
; CHECK-NEXT: vekt E113: ["{{.*}}message-operands.asm" 3] syntax error: expected expression
; CHECK-NEXT: vekt W179: ["{{.*}}message-operands.asm" 4] no active section, default section activated
; CHECK-NEXT: vekt E174: ["{{.*}}message-operands.asm" 4] no label allowed with .MESSAGE
; CHECK-NEXT: vekt E265: ["{{.*}}message-operands.asm" 5] divide by zero
; CHECK-NEXT: vekt I145: ["{{.*}}message-operands.asm" 5]  still shown{{ $}}
; CHECK-NEXT: vekt I145: ["{{.*}}message-operands.asm" 6] one{{ $}}
; CHECK-NEXT: vekt E172: ["{{.*}}message-operands.asm" 6] additional characters found after instruction or directive
; CHECK-NEXT: status 1
