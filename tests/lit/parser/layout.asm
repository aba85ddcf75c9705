 .SDECL ".data",DATA
 .SECT ".data"
l: .ALIGN 4
 .ALIGN
 .SPACE 16
 .SPACE later
 .SPACE
later .EQU 4
o: .ORG
 .ORG 0x100
 .ORG ,CODE
 .ORG ,
 .ORG 5 junk
 .ORG 0x200,DATA,clear,max
 .ORG ,CODE,cluster("c"),rom,linkonce(
; .ALIGN and .ORG take no label (E174, after the label is defined); .SPACE must not
; refer forward (E173). .ORG has an optional address, then a comma and a type word
; with optional attributes; text after a complete .ORG is E172 and the section stays
; open.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E174: ["{{.*}}layout.asm" 3] no label allowed with .ALIGN
; CHECK-NEXT: vekt E113: ["{{.*}}layout.asm" 4] syntax error: expected expression
; CHECK-NEXT: vekt E173: ["{{.*}}layout.asm" 6] expression does not allow forward references
; CHECK-NEXT: vekt E113: ["{{.*}}layout.asm" 7] syntax error: expected expression
; CHECK-NEXT: vekt E174: ["{{.*}}layout.asm" 9] no label allowed with .ORG
; CHECK-NEXT: vekt E118: ["{{.*}}layout.asm" 12] expected <type>
; CHECK-NEXT: vekt E172: ["{{.*}}layout.asm" 13] additional characters found after instruction or directive
; CHECK-NEXT: vekt E705: ["{{.*}}layout.asm" 14] section attribute "MAX" conflicts with attribute "CLEAR"
; CHECK-NEXT: vekt E118: ["{{.*}}layout.asm" 15] expected <string>
; CHECK-NEXT: status 1
