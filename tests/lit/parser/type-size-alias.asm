 .SDECL ".text",CODE
 .SECT ".text"
 .TYPE func
f: .TYPE func
g .TYPE CODE
h: .TYPE
 .SIZE f, end_f - f
 .SIZE f end_f
s: .SIZE f, 4
a .ALIAS f
b: .ALIAS f
 .ALIAS f
c .ALIAS
a .ALIAS g
end_f:
; .TYPE needs a label (E142) and a type word FUNC, OBJECT or FILE in any case (E204);
; .SIZE takes a name, a comma and an expression, and no label; .ALIAS needs a label
; without a colon and a target, and defines its name once.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E142: ["{{.*}}type-size-alias.asm" 3] expected label for .TYPE
; CHECK-NEXT: vekt E204: ["{{.*}}type-size-alias.asm" 5] invalid symbol type
; CHECK-NEXT: vekt E118: ["{{.*}}type-size-alias.asm" 6] expected <id>
; CHECK-NEXT: vekt E118: ["{{.*}}type-size-alias.asm" 8] expected ,
; CHECK-NEXT: vekt E174: ["{{.*}}type-size-alias.asm" 9] no label allowed with .SIZE
; CHECK-NEXT: vekt E171: ["{{.*}}type-size-alias.asm" 11] no colon allowed for label with .ALIAS
; CHECK-NEXT: vekt E142: ["{{.*}}type-size-alias.asm" 12] expected label for .ALIAS
; CHECK-NEXT: vekt E118: ["{{.*}}type-size-alias.asm" 13] expected <id>
; CHECK-NEXT: vekt E168: ["{{.*}}type-size-alias.asm" 14] symbol "a" already defined at line 10
; CHECK-NEXT: status 1
