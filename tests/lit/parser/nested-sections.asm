 .SDECL ".text",CODE
 .SECT ".text"
start:
; Sections have no end directive: a section still open at the end of the source is no
; fault, also with --nested-sections.
; RUN: %vekt --check --preprocessor-type=none --nested-sections %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      status 0
; RUN: printf ' .SDECL ".text",CODE\n .SECT ".text"\n .END\n' > %t.end.asm
; RUN: %vekt --check --preprocessor-type=none --nested-sections --require-end %t.end.asm > %t.end 2>&1; echo "status $?" >> %t.end
; RUN: FileCheck --match-full-lines %s < %t.end
