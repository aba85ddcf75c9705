 .SDECL ".data",DATA
 .SECT ".data"
 .GLOBAL alpha, beta, gamma, delta, epsilon, zeta, eta, theta
 .WORD theta, eta, zeta, epsilon, delta, gamma, beta, alpha
; Declared global, used and never defined: each is made external with W201 at its
; first reference. All share one line, where the warnings keep the order of the symbol
; table's report (neither the source's nor the alphabet's), whatever index the table
; searches through.
; RUN: %vekt --check %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "zeta" not defined in this module; made external
; CHECK-NEXT: vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "epsilon" not defined in this module; made external
; CHECK-NEXT: vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "beta" not defined in this module; made external
; CHECK-NEXT: vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "theta" not defined in this module; made external
; CHECK-NEXT: vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "delta" not defined in this module; made external
; CHECK-NEXT: vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "gamma" not defined in this module; made external
; CHECK-NEXT: vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "eta" not defined in this module; made external
; CHECK-NEXT: vekt W201: ["{{.*}}undefined-globals-one-line.asm" 4] global symbol "alpha" not defined in this module; made external
; CHECK-NEXT: status 0
