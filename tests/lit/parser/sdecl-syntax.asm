 .SDECL x
 .SDECL "x"
 .SDECL "x",
 .SDECL "x",CODE,
 .SDECL "x",DATA,linkonce
 .SDECL "x",DATA,linkonce(k)
 .SDECL "x",DATA,cluster("k"
 .SDECL "x",DATA AT
 .SDECL "x",DATA AT 1+
 .SDECL "x",codes
 .SECT "x", ON
 .SECT x
l: .SDECL "y",DATA
; What a declaration holds, in order: the name as a quoted literal, a comma, a type
; word, attributes after commas (a link-once key or cluster name as a literal in
; parentheses), an address after AT. A type word needs no delimiter: the rest is
; text after the directive.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E118: ["{{.*}}sdecl-syntax.asm" 1] expected <string>
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 2] expected ,
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 3] expected <type>
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 4] expected <section attribute>
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 5] expected (
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 6] expected <string>
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 7] expected )
; CHECK-NEXT: vekt E113: ["{{.*}}sdecl-syntax.asm" 8] syntax error: expected expression
; CHECK-NEXT: vekt E134: ["{{.*}}sdecl-syntax.asm" 9] error in expression: unexpected character in expression
; CHECK-NEXT: vekt E172: ["{{.*}}sdecl-syntax.asm" 10] additional characters found after instruction or directive
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 11] expected RESET
; CHECK-NEXT: vekt E118: ["{{.*}}sdecl-syntax.asm" 12] expected <string>
; CHECK-NEXT: vekt W179: ["{{.*}}sdecl-syntax.asm" 13] no active section, default section activated
; CHECK-NEXT: vekt E174: ["{{.*}}sdecl-syntax.asm" 13] no label allowed with .SDECL
; CHECK-NEXT: status 1
