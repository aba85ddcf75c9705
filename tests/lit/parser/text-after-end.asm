 .MESSAGE "before"
 .END ; the end
   
; only a comment
 .MESSAGE "never parsed"
 junk that is never parsed either
; The lines after .END are not parsed. The first of them that holds more than blanks
; and a comment draws W209, once.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; RUN: %vekt --check %s > %t.default 2>&1; echo "status $?" >> %t.default
; RUN: FileCheck --match-full-lines %s < %t.default
; CHECK:      vekt I145: ["{{.*}}text-after-end.asm" 1] before{{ $}}
; CHECK-NEXT: vekt W209: ["{{.*}}text-after-end.asm" 5] text found after END directive is ignored
; CHECK-NEXT: status 0
