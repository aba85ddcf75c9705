 .SDECL ".text",CODE
 .SECT ".text"
 .IF CASE == 1
 j __T4294967295
 .ENDIF
 .IF CASE == 2
 .EXTERN __T4294967295
 .ENDIF
 .IF CASE == 3
 .GLOBAL keep,__t4294967294
 .ENDIF
 .IF CASE == 5
 loop a2,__T4294967295
 .ENDIF
 .IF CASE == 6
 .SIZE __T4294967295,4
 .ENDIF
 .IF CASE == 7
 j __T1x
 .ENDIF
 jne d1,d2,FAR
 .IF CASE == 8
 .WORD __t4294967295
 .ENDIF
 .IF LONG
 .SPACE 100000
 .ENDIF
FAR: nop
; A source line may not name a label that generic instructions generate ("__T" or "__t"
; and digits): not in an operand, nor in a binding or size directive. The name refers to
; no symbol, so no generated label can meet a symbol of the source's under it; the run
; ends with the diagnostic on the source's line and status 1, and writes no object.
; LONG puts the target of the generic jump out of its short reach.
;
; RUN: rm -f %t.o; %vekt -DCASE=1 -DLONG=0 -o %t.o %s > %t.1 2>&1; echo "status $?" >> %t.1; test -e %t.o || echo "no object" >> %t.1
; RUN: FileCheck --check-prefix=JUMP --match-full-lines %s < %t.1
; RUN: rm -f %t.o; %vekt -DCASE=1 -DLONG=1 -o %t.o %s > %t.1f 2>&1; echo "status $?" >> %t.1f; test -e %t.o || echo "no object" >> %t.1f
; RUN: FileCheck --check-prefix=JUMP --match-full-lines %s < %t.1f
; RUN: rm -f %t.o; %vekt -DCASE=1 -DLONG=1 -g -l -o %t.o %s > %t.1g 2>&1; echo "status $?" >> %t.1g; test -e %t.o || echo "no object" >> %t.1g
; RUN: FileCheck --check-prefix=JUMP --match-full-lines %s < %t.1g
; JUMP:      vekt E110: ["{{.*}}generated-label-references.asm" 4] "__T4294967295" is reserved for labels the assembler generates
; JUMP-NEXT: vekt E134: ["{{.*}}generated-label-references.asm" 4] error in expression: generic expression error
; JUMP-NEXT: status 1
; JUMP-NEXT: no object
;
; RUN: %vekt -DCASE=1 -DLONG=1 --check %s > %t.1c 2>&1; echo "status $?" >> %t.1c
; RUN: FileCheck --check-prefix=CHECKONLY --match-full-lines %s < %t.1c
; CHECKONLY:      vekt E110: ["{{.*}}generated-label-references.asm" 4] "__T4294967295" is reserved for labels the assembler generates
; CHECKONLY-NEXT: status 1
;
; RUN: rm -f %t.o; %vekt -DCASE=2 -DLONG=1 -o %t.o %s > %t.2 2>&1; echo "status $?" >> %t.2; test -e %t.o || echo "no object" >> %t.2
; RUN: FileCheck --check-prefix=EXTERN --match-full-lines %s < %t.2
; EXTERN:      vekt E110: ["{{.*}}generated-label-references.asm" 7] "__T4294967295" is reserved for labels the assembler generates
; EXTERN-NEXT: status 1
; EXTERN-NEXT: no object
;
; RUN: rm -f %t.o; %vekt -DCASE=3 -DLONG=0 -o %t.o %s > %t.3 2>&1; echo "status $?" >> %t.3; test -e %t.o || echo "no object" >> %t.3
; RUN: FileCheck --check-prefix=GLOBAL --match-full-lines %s < %t.3
; GLOBAL:      vekt E110: ["{{.*}}generated-label-references.asm" 10] "__t4294967294" is reserved for labels the assembler generates
; GLOBAL-NEXT: status 1
; GLOBAL-NEXT: no object
;
; RUN: rm -f %t.o; %vekt -DCASE=5 -DLONG=1 -o %t.o %s > %t.5 2>&1; echo "status $?" >> %t.5; test -e %t.o || echo "no object" >> %t.5
; RUN: FileCheck --check-prefix=LOOP --match-full-lines %s < %t.5
; LOOP:      vekt E110: ["{{.*}}generated-label-references.asm" 13] "__T4294967295" is reserved for labels the assembler generates
; LOOP-NEXT: vekt E134: ["{{.*}}generated-label-references.asm" 13] error in expression: generic expression error
; LOOP-NEXT: status 1
; LOOP-NEXT: no object
;
; RUN: rm -f %t.o; %vekt -DCASE=6 -DLONG=1 -o %t.o %s > %t.6 2>&1; echo "status $?" >> %t.6; test -e %t.o || echo "no object" >> %t.6
; RUN: FileCheck --check-prefix=SIZE --match-full-lines %s < %t.6
; SIZE:      vekt E110: ["{{.*}}generated-label-references.asm" 16] "__T4294967295" is reserved for labels the assembler generates
; SIZE-NEXT: status 1
; SIZE-NEXT: no object
;
; After the jump, in data, and in lower case.
; RUN: rm -f %t.o; %vekt -DCASE=8 -DLONG=1 -o %t.o %s > %t.8 2>&1; echo "status $?" >> %t.8; test -e %t.o || echo "no object" >> %t.8
; RUN: FileCheck --check-prefix=WORD --match-full-lines %s < %t.8
; WORD:      vekt E110: ["{{.*}}generated-label-references.asm" 23] "__t4294967295" is reserved for labels the assembler generates
; WORD-NEXT: vekt E139: ["{{.*}}generated-label-references.asm" 23] cannot emit expression in object file, replaced with integral value '0'
; WORD-NEXT: status 1
; WORD-NEXT: no object
;
; A name that only begins like a generated label is the source's own: an external symbol
; beside the generated label, which the object does not keep.
; RUN: rm -f %t.o; %vekt -DCASE=7 -DLONG=1 -o %t.o %s > %t.7 2>&1; echo "status $?" >> %t.7
; RUN: readelf -sW %t.o >> %t.7
; RUN: FileCheck --check-prefix=OWN --match-full-lines %s < %t.7
; OWN:      status 0
; OWN:      Symbol table '.symtab' contains 5 entries:
; OWN:           4: 00000000     0 NOTYPE  GLOBAL DEFAULT  UND __T1x
; OWN-NOT:  __T4
