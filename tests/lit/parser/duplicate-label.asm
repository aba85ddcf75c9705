start:
start:
; A label defined twice: the first one opens the default section, the second is E168
; naming the first definition's line.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check %s > %t.default 2>&1; echo "status $?" >> %t.default
; RUN: FileCheck --match-full-lines %s < %t.default
; CHECK:      vekt W179: ["{{.*}}duplicate-label.asm" 1] no active section, default section activated
; CHECK-NEXT: vekt E168: ["{{.*}}duplicate-label.asm" 2] symbol "start" already defined at line 1
; CHECK-NEXT: status 1
