; A routine with a data table, debug lines and a list file.
	.sdecl	".text.first",code
	.sect	".text.first"
	.global	add_values
add_values:
	add	d2,d4,d5
	jz	d2,done
	mov	d2,#1
done:
	ret
	.sdecl	".data.first",data
	.sect	".data.first"
table:	.word	1,2,3
	.word	add_values
