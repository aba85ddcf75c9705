; .DUPC runs once per character of its string, escape sequences uncooked; an empty
; string gives nothing. Checks hold whole lines: the blank after the colon is the
; line's own one.
; RUN: %vekt --preprocess %s > %t.out 2>&1; echo "status $?" >> %t.out
; RUN: FileCheck --strict-whitespace --match-full-lines %s < %t.out
 .DUPC c,"ab"
 .BYTE 'c'
 .BYTE c
 .ENDM
; CHECK: .BYTE 'c'
; CHECK-NEXT: .BYTE a
; CHECK-NEXT: .BYTE 'c'
; CHECK-NEXT: .BYTE b
; A backslash taken from the string is the body's join operator there: it joins
; the texts on its two sides and vanishes.
 .DUPC c,'x\n'
 .BYTE c
 .ENDM
; CHECK-NEXT: .BYTE x
; CHECK-NEXT: .BYTE {{$}}
; CHECK-NEXT: .BYTE n
 .DUPC c,""
 .BYTE c
 .ENDM
; CHECK-NEXT:status 0
