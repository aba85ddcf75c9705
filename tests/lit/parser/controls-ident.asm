	.sdecl ".text.t",code
	.sect ".text.t"
mk	.MACRO name
name:	nop
	.ENDM
before:	nop
	mk mbefore
	j fwdglobal
e0	.EQU 1
	$IDENT LOCAL
local1:	nop
	mk mlocal
	j local1
declared:	nop
	$IDENT GLOBAL
global1:	nop
	mk mglobal
fwdglobal:	nop
e1	.EQU 2
hidden:	nop
	j before
	.GLOBAL declared
	.LOCAL hidden
; A label without a scope directive takes the default scope in force on its
; definition line: the options' until the first $IDENT, then the last $IDENT's.
; It holds for labels that macro calls make and for a label referenced before its
; definition. A scope directive wins over both; equates stay local. Each name says
; which control stood before it; the three runs are the options.
;
;   symbol     no option  --symbol-scope=global  --symbol-scope=local
;   before     LOCAL      GLOBAL                 LOCAL
;   local1     LOCAL      LOCAL                  LOCAL
;   global1    GLOBAL     GLOBAL                 GLOBAL
;
; RUN: %vekt --emit-locals=se %s -o %t.o 2> %t.err
; RUN: readelf -sW %t.o | awk 'NR > 3 && $8 != "" && $4 != "SECTION" && $4 != "FILE" { print $8, $5 }' | sort | awk '{ print } END { print "end" }' | FileCheck --match-full-lines --check-prefixes=CHECK,LOCAL %s
; RUN: %vekt --emit-locals=se --symbol-scope=local %s -o %t.l.o 2> %t.err
; RUN: readelf -sW %t.l.o | awk 'NR > 3 && $8 != "" && $4 != "SECTION" && $4 != "FILE" { print $8, $5 }' | sort | awk '{ print } END { print "end" }' | FileCheck --match-full-lines --check-prefixes=CHECK,LOCAL %s
; RUN: %vekt --emit-locals=se --symbol-scope=global %s -o %t.g.o 2> %t.err
; RUN: readelf -sW %t.g.o | awk 'NR > 3 && $8 != "" && $4 != "SECTION" && $4 != "FILE" { print $8, $5 }' | sort | awk '{ print } END { print "end" }' | FileCheck --match-full-lines --check-prefixes=CHECK,GLOBAL %s
; A run that keeps every line for its list file binds alike.
; RUN: %vekt --emit-locals=se --symbol-scope=global %s -o %t.gl.o -l%t.lst 2> %t.err
; RUN: readelf -sW %t.gl.o | awk 'NR > 3 && $8 != "" && $4 != "SECTION" && $4 != "FILE" { print $8, $5 }' | sort | awk '{ print } END { print "end" }' | FileCheck --match-full-lines --check-prefixes=CHECK,GLOBAL %s
; LOCAL:       before LOCAL
; GLOBAL:      before GLOBAL
; CHECK-NEXT:  declared GLOBAL
; CHECK-NEXT:  e0 LOCAL
; CHECK-NEXT:  e1 LOCAL
; CHECK-NEXT:  fwdglobal GLOBAL
; CHECK-NEXT:  global1 GLOBAL
; CHECK-NEXT:  hidden LOCAL
; CHECK-NEXT:  local1 LOCAL
; LOCAL-NEXT:  mbefore LOCAL
; GLOBAL-NEXT: mbefore GLOBAL
; CHECK-NEXT:  mglobal GLOBAL
; CHECK-NEXT:  mlocal LOCAL
; CHECK-NEXT:  end
