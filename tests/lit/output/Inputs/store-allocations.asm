; Something of everything the object output stores: code and data sections, one in a
; cluster, symbols of each binding, relocations, reserved space, a padded file, call
; records through an alias, and with -g the debug records.
 .SDECL ".text.a",CODE,cluster("c")
 .SECT ".text.a"
 .GLOBAL f
f: mov d2,#5
loop: jne d1,d2,loop
 call g
 ret
g: add d0,d1,d2
 ret
a .ALIAS g
 .CALLS "f","a",16
 .CALLS "g","",8
 .SDECL ".data.a",DATA,cluster("c")
 .SECT ".data.a"
 .WEAK v
v: .WORD 1,f,ext+4
 .BYTE "text",0
 .SPACE 6
 .LOAD "ten.bin",16
 .EXTERN ext
 .SDECL ".bss.a",DATA,CLEAR
 .SECT ".bss.a"
 .SPACE 32
size .EQU 0x40
