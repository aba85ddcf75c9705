 .SDECL ".text",CODE
 .SECT ".text"
start:
; Sections have no end directive: a section still open at the end of the source is no
; fault, also with --nested-sections: the run draws no diagnostic at all.
; RUN: %vekt --check --preprocessor-type=none --nested-sections %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK-NOT:  {{.}}
; CHECK:      status 0
; RUN: printf ' .SDECL ".text",CODE\n .SECT ".text"\n .END\n' > %t.end.asm
; RUN: %vekt --check --preprocessor-type=none --nested-sections --require-end %t.end.asm > %t.end 2>&1; echo "status $?" >> %t.end
; RUN: FileCheck --match-full-lines %s < %t.end
;
; What --require-end does ask for is the .END itself.
; RUN: printf ' .SDECL ".text",CODE\n .SECT ".text"\n' > %t.noend.asm
; RUN: %vekt --check --preprocessor-type=none --nested-sections --require-end %t.noend.asm > %t.noend 2>&1; echo "status $?" >> %t.noend
; RUN: FileCheck --match-full-lines --check-prefix=NOEND %s < %t.noend
; NOEND:      vekt E149: ["{{.*}}.noend.asm" 2] missing END directive
; NOEND-NEXT: status 1
