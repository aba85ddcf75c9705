; A loop summing an array of words in data RAM: 3+5+7+11+13+17+19 = 75.
; EXPECT: 75
 .SDECL ".text",CODE AT 0x80000000
 .SDECL ".data",DATA AT 0xd0000000
 .SECT ".data"
values:
 .WORD 3, 5, 7, 11, 13, 17, 19
 .SECT ".text"
 movh.a a2,#@HIS(values)
 lea a2,[a2]@LOS(values)
 mov d2,#0
 mov d0,#6
 mov.a a3,d0
top:
 ld.w d1,[a2+]4
 add d2,d1
 loop a3,top
 movh.a a15,#0xf000
 st.w [a15]0,d2
halt:
 j halt
