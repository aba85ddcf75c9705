; 16- and 32-bit instructions interleaved on a TC1.6 core: a misplaced length
; throws every later instruction off. ((6 + 1000) << 2) * 3 - 4024 + 5 = 8053,
; whose low byte is 0x75 = 117.
; EXPECT: 117
; CORE: tc1.6
 .SDECL ".text",CODE AT 0x80000000
 .SECT ".text"
 mov d15,#6
 mov d1,#1000
 add d15,d1
 sh d15,#2
 mul d2,d15,#3
 sub d2,d15
 add d2,#5
 movh.a a15,#0xf000
 st.w [a15]0,d2
halt:
 j halt
