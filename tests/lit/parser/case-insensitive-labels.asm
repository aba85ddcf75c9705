Loop:
LOOP:
; Names differ by letter case only while names are case-sensitive.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines --check-prefix=SENSITIVE %s < %t
; SENSITIVE:      vekt W179: ["{{.*}}case-insensitive-labels.asm" 1] no active section, default section activated
; SENSITIVE-NEXT: status 0
; RUN: %vekt --check --preprocessor-type=none --case-insensitive %s > %t.i 2>&1; echo "status $?" >> %t.i
; RUN: FileCheck --match-full-lines --check-prefix=INSENSITIVE %s < %t.i
; INSENSITIVE:      vekt W179: ["{{.*}}case-insensitive-labels.asm" 1] no active section, default section activated
; INSENSITIVE-NEXT: vekt E168: ["{{.*}}case-insensitive-labels.asm" 2] symbol "LOOP" already defined at line 1
; INSENSITIVE-NEXT: status 1
