 .MESSAGE "no end"
; With --require-end a source without .END is E149 at its last line; without the
; option nothing is said.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines --check-prefix=FREE %s < %t
; FREE:      vekt I145: ["{{.*}}require-end.asm" 1] no end{{ $}}
; FREE-NEXT: status 0
; RUN: %vekt --check --preprocessor-type=none --require-end %s > %t.r 2>&1; echo "status $?" >> %t.r
; RUN: FileCheck --match-full-lines --check-prefix=REQUIRED %s < %t.r
; REQUIRED:      vekt I145: ["{{.*}}require-end.asm" 1] no end{{ $}}
; REQUIRED-NEXT: vekt E149: ["{{.*}}require-end.asm" 21] missing END directive
; REQUIRED-NEXT: status 1
;
; An empty source draws nothing, not even with --require-end.
; RUN: rm -rf %t.d && mkdir %t.d && touch %t.d/empty.asm
; RUN: %vekt --check --preprocessor-type=none --require-end %t.d/empty.asm > %t.d/out 2>&1; echo "status $?" >> %t.d/out
; RUN: FileCheck --match-full-lines --check-prefix=EMPTY %s < %t.d/out
; EMPTY:      status 0
; RUN: printf ' .END\n' > %t.d/ended.asm
; RUN: %vekt --check --preprocessor-type=none --require-end --nested-sections %t.d/ended.asm > %t.d/out2 2>&1; echo "status $?" >> %t.d/out2
; RUN: FileCheck --match-full-lines --check-prefix=EMPTY %s < %t.d/out2
