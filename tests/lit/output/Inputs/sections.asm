 .SDECL ".text",CODE
 .SECT ".text"
 nop
 nop
 .SDECL ".data",DATA
 .SECT ".data"
 .WORD 1,2
 .SDECL ".abs",CODE AT 0x80000000
 .SECT ".abs"
 ret
 .SDECL "a_section_name_that_is_longer_than_thirty",DATA
 .SECT "a_section_name_that_is_longer_than_thirty"
 .BYTE 1
