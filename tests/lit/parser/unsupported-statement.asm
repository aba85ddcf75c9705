 foo
 1
 foo:
nop
 nop
 nop ; a comment after an instruction
nop
; A word after a blank that is neither a keyword nor followed by a colon is
; unsupported (E120), and so is a number; with a colon it is a label. A mnemonic in the
; first column is a label, after a blank an instruction.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check %s > %t.default 2>&1; echo "status $?" >> %t.default
; RUN: FileCheck --match-full-lines %s < %t.default
; CHECK:      vekt E120: ["{{.*}}unsupported-statement.asm" 1] unsupported directive or instruction "foo"
; CHECK-NEXT: vekt E120: ["{{.*}}unsupported-statement.asm" 2] unsupported directive or instruction "1"
; CHECK-NEXT: vekt W179: ["{{.*}}unsupported-statement.asm" 3] no active section, default section activated
; CHECK-NEXT: vekt E168: ["{{.*}}unsupported-statement.asm" 7] symbol "nop" already defined at line 4
; CHECK-NEXT: status 1
