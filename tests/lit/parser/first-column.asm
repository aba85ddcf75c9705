.MESSAGE "a directive in the first column"
.message "in any letter case"
label .MESSAGE "a label before a directive"
; A directive is a directive also in the first column; a word there before it is its
; label (which .MESSAGE does not take).
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt I145: ["{{.*}}first-column.asm" 1] a directive in the first column{{ $}}
; CHECK-NEXT: vekt I145: ["{{.*}}first-column.asm" 2] in any letter case{{ $}}
; CHECK-NEXT: vekt W179: ["{{.*}}first-column.asm" 3] no active section, default section activated
; CHECK-NEXT: vekt E174: ["{{.*}}first-column.asm" 3] no label allowed with .MESSAGE
; CHECK-NEXT: status 1
