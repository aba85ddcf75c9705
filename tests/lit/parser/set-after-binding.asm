 .GLOBAL N
N .SET 5
M .SET N+1
 .WEAK W
W .SET 1
 .EXTERN X
X .SET 2
; A name that is only bound so far is defined by .SET and keeps its binding, so
; that a later .SET may use it. An external name cannot be defined here.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E197: ["{{.*}}set-after-binding.asm" 7] symbol "X" already defined external
; CHECK-NEXT: status 1
