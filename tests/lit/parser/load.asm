 .SDECL ".data",DATA
 .SECT ".data"
start: .LOAD "blob.bin"
 .LOAD "blob.bin", 16
 .LOAD blob.bin
 .LOAD "blob.bin", 1+
 .LOAD "blob.bin" 16
; .LOAD takes a file name as a quoted literal and optionally, after a comma, a size;
; a label stands where the file's bytes begin. The file itself is read only when the
; object is written.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E118: ["{{.*}}load.asm" 5] expected <string>
; CHECK-NEXT: vekt E134: ["{{.*}}load.asm" 6] error in expression: unexpected character in expression
; CHECK-NEXT: vekt E172: ["{{.*}}load.asm" 7] additional characters found after instruction or directive
; CHECK-NEXT: status 1
