 .SDECL ".text.a",CODE,max
 .SDECL "buf",DATA,clear,noclear
 .SDECL "rom",data,Clear,ROM,init
 .SDECL "fixed",DATA,concat AT 0x1000
 .SDECL ".data.x",DATA,max
 .SDECL ".bss.y",DATA,INIT
 .SDECL "ok",romdata,rom,cluster("grp"),linkonce("key") AT 0x2000
; An attribute the type does not allow is E704 (with its lower-case word); attributes
; that contradict each other are E705; defaults by name refuse some (E704 with the
; upper-case word). The section is declared in every case.
; RUN: %vekt --check --preprocessor-type=none %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E704: ["{{.*}}sdecl-attributes.asm" 1] section attribute "max" not allowed with section ".text.a"
; CHECK-NEXT: vekt E705: ["{{.*}}sdecl-attributes.asm" 2] section attribute "NOCLEAR" conflicts with attribute "CLEAR"
; CHECK-NEXT: vekt E705: ["{{.*}}sdecl-attributes.asm" 3] section attribute "CLEAR" conflicts with attribute "ROM"
; CHECK-NEXT: vekt E705: ["{{.*}}sdecl-attributes.asm" 4] section attribute "AT" conflicts with attribute "CONCAT"
; CHECK-NEXT: vekt E704: ["{{.*}}sdecl-attributes.asm" 5] section attribute "MAX" not allowed with section ".data.x"
; CHECK-NEXT: vekt E704: ["{{.*}}sdecl-attributes.asm" 6] section attribute "INIT" not allowed with section ".bss.y"
; CHECK-NEXT: status 1
