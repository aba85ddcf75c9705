 .SDECL ".text.t",CODE
 .SECT ".text.t"
 nop
 nop d0
 add d0,d1,d2
 ld.a a2,[a2+]4
 ld.a a3,[a2+]4
 swap.w d0,[a2]0
 xyz d0
 ld.w d0,[a2]
 ld.w d0,
 mov d0,#1 ; a comment ends the operands
 j lab
lab:
; Instruction lines: a complete instruction takes no further operand (E172), a form
; whose operands break a relation gets E122 with the reason, the old swap.w operand
; order draws W716, and operands that fit no form get the furthest syntax failure.
; RUN: %vekt --check %s > %t 2>&1; echo "status $?" >> %t
; RUN: FileCheck --match-full-lines %s < %t
; CHECK:      vekt E172: ["{{.*}}instruction-statements.asm" 4] additional characters found after instruction or directive
; CHECK-NEXT: vekt E122: ["{{.*}}instruction-statements.asm" 6] invalid instruction: target register may not be modified by addressing mode
; CHECK-NEXT: vekt W716: ["{{.*}}instruction-statements.asm" 8] Old syntax used. Use: swap.w [Areg],Dreg
; CHECK-NEXT: vekt E120: ["{{.*}}instruction-statements.asm" 9] unsupported directive or instruction "xyz"
; CHECK-NEXT: vekt E210: ["{{.*}}instruction-statements.asm" 11] unexpected end of line
; CHECK-NEXT: status 1
