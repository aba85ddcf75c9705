 .comment_prefix "//" ; the old prefix still holds on this line
 .MESSAGE 8 // 2
 .MESSAGE 1;2
 .comment_prefix 5
 .END // note
; .comment_prefix changes the text that starts a comment from the next line on; an
; expression ends where the comment begins. Its operand must be a string (E118). After
; .END the new prefix still decides what is a comment: these lines are text now.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt I145: ["{{.*}}comment-prefix.asm" 2] 8{{ $}}
; CHECK-NEXT: vekt I145: ["{{.*}}comment-prefix.asm" 3] 1{{ $}}
; CHECK-NEXT: vekt E172: ["{{.*}}comment-prefix.asm" 3] additional characters found after instruction or directive
; CHECK-NEXT: vekt E118: ["{{.*}}comment-prefix.asm" 4] expected <string>
; CHECK-NEXT: vekt W209: ["{{.*}}comment-prefix.asm" 6] text found after END directive is ignored
; CHECK-NEXT: status 1
