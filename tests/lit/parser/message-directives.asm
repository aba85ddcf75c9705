 .MESSAGE "value", 3
 .WARNING "careful", 1+1, 'x'
 .FAIL "bad"
 .MESSAGE "after the failure"
; Each operand is written as its value (a string without quotes) followed by one
; blank. .MESSAGE informs, .WARNING warns, .FAIL is an error that lets the rest of the
; source be assembled.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check %s > %t.default 2>&1; echo "status $?" >> %t.default
; RUN: FileCheck --match-full-lines %s < %t.default
; CHECK:      vekt I145: ["{{.*}}message-directives.asm" 1] value 3{{ $}}
; CHECK-NEXT: vekt W144: ["{{.*}}message-directives.asm" 2] careful 2 x{{ $}}
; CHECK-NEXT: vekt E143: ["{{.*}}message-directives.asm" 3] bad{{ $}}
; CHECK-NEXT: vekt I145: ["{{.*}}message-directives.asm" 4] after the failure{{ $}}
; CHECK-NEXT: status 1
;
; A warning the options suppress is not shown; one they promote is an error.
; RUN: %vekt --check --preprocessor-type=none --no-warnings=144 %s > %t.w 2>&1; echo "status $?" >> %t.w
; RUN: FileCheck --match-full-lines --check-prefix=QUIET %s < %t.w
; QUIET:      vekt I145: ["{{.*}}message-directives.asm" 1] value 3{{ $}}
; QUIET-NEXT: vekt E143: ["{{.*}}message-directives.asm" 3] bad{{ $}}
; RUN: %vekt --check --preprocessor-type=none --warnings-as-errors=144 %s > %t.e 2>&1; echo "status $?" >> %t.e
; RUN: FileCheck --match-full-lines --check-prefix=PROMOTED %s < %t.e
; PROMOTED:      vekt E144: ["{{.*}}message-directives.asm" 2] careful 2 x{{ $}}
