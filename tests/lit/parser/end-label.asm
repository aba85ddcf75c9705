done: .END
 .FAIL "still assembled"
; .END takes no label: E174, and the source does not end there.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt W179: ["{{.*}}end-label.asm" 1] no active section, default section activated
; CHECK-NEXT: vekt E174: ["{{.*}}end-label.asm" 1] no label allowed with .END
; CHECK-NEXT: vekt E143: ["{{.*}}end-label.asm" 2] still assembled{{ $}}
; CHECK-NEXT: status 1
