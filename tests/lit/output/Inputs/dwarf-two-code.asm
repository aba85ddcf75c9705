 .SDECL ".text.a",CODE
 .SECT ".text.a"
 nop
 .SDECL ".text.b",CODE
 .SECT ".text.b"
 nop
 nop
