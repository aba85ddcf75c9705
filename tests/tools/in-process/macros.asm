; Macro-local labels, repeat blocks and generic instructions: every run numbers their
; labels from the start.
step	.MACRO	reg
lp:	add	reg,#1
	jne	reg,#4,lp
	.ENDM
	.sdecl	".text.second",code
	.sect	".text.second"
	step	d0
	.DUP	2
	nop
	.ENDM
	step	d1
	mov	d3,#100
	j	far
	.sect	".text.second"
far:	ret
; Conditional jumps out of reach expand into a jump over a jump, through labels that the
; run names.
	jeq	d0,#3,distant
	jne	d1,#2,distant
	.space	40000
distant:
	nop
