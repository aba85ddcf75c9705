; A first source for vekt: a small routine that adds two values.
	.sdecl	".text.hello",code
	.sect	".text.hello"
	.global	add_values
add_values:
	add	d2,d4,d5
	ret
