; Errors (and a warning for the second input on its command line): the diagnostics, the list file and the status of a run that fails.
	.sdecl	".text.third",code
	.sect	".text.third"
start:
start:
	add	d2,d4,#1000000
	j	nowhere
	.word	1
	ret
