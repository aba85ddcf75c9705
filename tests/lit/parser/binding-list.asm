 .GLOBAL a,
 .GLOBAL
 .LOCAL a, 5
 .WEAK a b
 .EXTERN (p, q) c
 .EXTERN (p c
l: .GLOBAL g
 .GLOBAL nop, .word
; A binding directive takes names separated by commas: a comma asks for another name,
; and anything but a word is E118; nothing of such a statement is bound. The names in
; parentheses of .EXTERN must be closed. Keywords and mnemonics serve as names. A
; label is refused (E174) after the frame has defined it.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E118: ["{{.*}}binding-list.asm" 1] expected <id>
; CHECK-NEXT: vekt E118: ["{{.*}}binding-list.asm" 2] expected <id>
; CHECK-NEXT: vekt E118: ["{{.*}}binding-list.asm" 3] expected <id>
; CHECK-NEXT: vekt E172: ["{{.*}}binding-list.asm" 4] additional characters found after instruction or directive
; CHECK-NEXT: vekt E118: ["{{.*}}binding-list.asm" 6] expected )
; CHECK-NEXT: vekt W179: ["{{.*}}binding-list.asm" 7] no active section, default section activated
; CHECK-NEXT: vekt E174: ["{{.*}}binding-list.asm" 7] no label allowed with .GLOBAL
; CHECK-NEXT: status 1
