; What a body becomes in an expansion: parameters are replaced, also inside double
; quotes but not inside single ones, and double-quoted strings come out
; single-quoted; a backslash joins a parameter to the text after it; %NAME and
; ?NAME give the value of a preprocessor symbol in hexadecimal and in decimal
; (a name without a value stays as written); doubled operators stand for
; themselves. Checks hold whole lines: the blank after the colon is the line's
; own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
X .SET 255
m .MACRO val,lbl
 mov d0,#val
 .ASCII 'val',"val"
lbl\_end: .WORD %X,?X,%nothing,100%%
 .ENDM
 m 5,L3
; CHECK:X .SET 255
; CHECK-NEXT: mov d0,#5
; CHECK-NEXT: .ASCII 'val','5'
; CHECK-NEXT:L3_end: .WORD FF,255,%nothing,100%
; CHECK-NEXT:status 0
