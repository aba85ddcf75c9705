 .SDECL ".text",CODE
 .SECT ".text"
f: .TYPE func
 nop
g:
h: .TYPE object
 .SDECL ".data",DATA
 .SECT ".data"
t:
n .EQU 4
 .WORD n
 .GLOBAL f,g,h,t
; A run that only checks the source keeps no label nodes, yet a label stays the one
; that .TYPE and a following data directive give a type to, past an equate between
; them; the checked run ends as cleanly as the full one that shows the types.
; RUN: %vekt --check %s 2>&1 | count 0
; RUN: %vekt %s -o %t.o 2>&1 | count 0
; RUN: llvm-readelf -s %t.o | FileCheck %s
; CHECK: FUNC    GLOBAL DEFAULT {{.*}} f
; CHECK: FUNC    GLOBAL DEFAULT {{.*}} g
; CHECK: OBJECT  GLOBAL DEFAULT {{.*}} h
; CHECK: OBJECT  GLOBAL DEFAULT {{.*}} t
