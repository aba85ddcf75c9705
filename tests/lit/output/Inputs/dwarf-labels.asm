 .SDECL ".text",CODE
 .GLOBAL gfun
 .SECT ".text"
gfun:
 nop
loc1:
 nop
.L1:
 nop
.cocofun_3:
 nop
