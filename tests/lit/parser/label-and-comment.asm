here: ; the label alone
 ; a comment alone
"quoted"
there:   nop   ; an instruction after a label
; A label may stand alone before a comment; a quoted name is a label wherever it is;
; a statement may end in a comment.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt W179: ["{{.*}}label-and-comment.asm" 1] no active section, default section activated
; CHECK-NEXT: status 0
