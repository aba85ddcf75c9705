 .SDECL ".text",CODE
 .SECT ".text"
start:
 nop
 nop

 add d0,d1
 .SDECL ".data",DATA
 .SECT ".data"
val: .WORD 5
