	.sdecl ".text.t",code
	.sect ".text.t"
back:	nop
	jne d1,d2,far
	jne d3,d4,back
	jne d1,d2,far
	.space 40000
far:	nop
; The labels that generic expansions define carry the assembler's own names, which every
; module makes alike: they stay local whatever the default scope says, while the
; source's labels take it. The jumps to "far" expand (it lies beyond the hardware
; form's reach); with -OS every generic expands.
;
; RUN: %vekt --emit-locals %s -o %t.o
; RUN: readelf -sW %t.o | awk 'NR > 3 && $4 == "FUNC" { print $8, $5 }' | sort | FileCheck --match-full-lines --check-prefixes=CHECK,LOCAL %s
; RUN: %vekt --emit-locals -ig %s -o %t.g.o
; RUN: readelf -sW %t.g.o | awk 'NR > 3 && $4 == "FUNC" { print $8, $5 }' | sort | FileCheck --match-full-lines --check-prefixes=CHECK,GLOBAL %s
; RUN: %vekt --emit-locals -ig -l%t.lst %s -o %t.gl.o
; RUN: readelf -sW %t.gl.o | awk 'NR > 3 && $4 == "FUNC" { print $8, $5 }' | sort | FileCheck --match-full-lines --check-prefixes=CHECK,GLOBAL %s
; RUN: %vekt --emit-locals -ig -OS %s -o %t.gs.o
; RUN: readelf -sW %t.gs.o | awk 'NR > 3 && $4 == "FUNC" { print $8, $5 }' | sort | FileCheck --match-full-lines --check-prefixes=ALL,GLOBAL %s
; CHECK:       __T4294967293 LOCAL
; CHECK-NEXT:  __T4294967295 LOCAL
; ALL:         __T4294967293 LOCAL
; ALL-NEXT:    __T4294967294 LOCAL
; ALL-NEXT:    __T4294967295 LOCAL
; LOCAL-NEXT:  back LOCAL
; LOCAL-NEXT:  far LOCAL
; GLOBAL-NEXT: back GLOBAL
; GLOBAL-NEXT: far GLOBAL
; LOCAL-NOT:   {{.}}
; GLOBAL-NOT:  {{.}}
;
; Without --emit-locals no expansion label reaches the object at all.
; RUN: %vekt -ig -OS %s -o %t.n.o
; RUN: readelf -sW %t.n.o | FileCheck --check-prefix=NONE %s
; NONE-NOT: __T
;
; $IDENT GLOBAL in the source, before any section (the default section opens).
; RUN: printf 'L1:\tnop\n\t$IDENT GLOBAL\n\tjne d1,d2,L1-2\n' > %t.ident.asm
; RUN: %vekt -OS --emit-locals %t.ident.asm -o %t.i.o 2>&1 | FileCheck --check-prefix=IDENT-DIAG %s
; RUN: readelf -sW %t.i.o | FileCheck --check-prefix=IDENT %s
; IDENT-DIAG: W179: ["{{.*}}ident.asm" 1] no active section, default section activated
; IDENT-DIAG-NOT: {{.}}
; IDENT: 0000000a 0 FUNC LOCAL DEFAULT {{[0-9]+}} __T4294967295
; IDENT-NOT: GLOBAL {{.*}}__T
