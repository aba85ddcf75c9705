 .MESSAGE 10
 .RADIX 16
 .MESSAGE 10, 0x10, #10
 .RADIX 12
 .MESSAGE 10
 .RADIX 2
 .RADIX 10
 .MESSAGE 10
 .RADIX "ab"
 .RADIX 8.5
 .MESSAGE 10
; .RADIX sets the base of the numbers on the lines after it: 2, 8, 10 or 16. Any other
; value is E117 and the base stays; a value that is no number is E125.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt I145: ["{{.*}}radix.asm" 1] 10{{ $}}
; CHECK-NEXT: vekt I145: ["{{.*}}radix.asm" 3] 16 16 10{{ $}}
; CHECK-NEXT: vekt E117: ["{{.*}}radix.asm" 4] syntax error: expected number radix expression
; CHECK-NEXT: vekt I145: ["{{.*}}radix.asm" 5] 16{{ $}}
; CHECK-NEXT: vekt I145: ["{{.*}}radix.asm" 8] 2{{ $}}
; CHECK-NEXT: vekt E125: ["{{.*}}radix.asm" 9] integer expression expected for .RADIX directive
; CHECK-NEXT: vekt I145: ["{{.*}}radix.asm" 11] 8{{ $}}
; CHECK-NEXT: status 1
