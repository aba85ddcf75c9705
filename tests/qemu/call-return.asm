; A call and a return through context save areas that the program links itself.
; The callee changes d8, which the return must restore from the saved upper
; context: (11 * 3 + 1) + 20 = 54.
; EXPECT: 54
 .SDECL ".text",CODE AT 0x80000000
 .SECT ".text"
; Three 64-byte areas from 0xd0001000. A link word holds address bits 31:28 in
; its bits 19:16 and address bits 21:6 in its bits 15:0.
 movh.a a2,#0xd000
 lea a2,[a2]0x1000
 mov d0,#0x0d
 sh d0,d0,#16
 or d0,d0,#0x40
 mtcr #0xfe38,d0         ; FCX: the first free area
 isync
 add d1,d0,#1
 st.w [a2]0,d1
 add d1,d0,#2
 st.w [a2]64,d1
 mov d1,#0
 st.w [a2]128,d1
 add d1,d0,#2
 mtcr #0xfe3c,d1         ; LCX: the last one
 isync
 mov d8,#20
 mov d4,#11
 call triple
 add d2,d2,d8
 movh.a a15,#0xf000
 st.w [a15]0,d2
halt:
 j halt
triple:
 mul d2,d4,#3
 add d2,d2,#1
 mov d8,#99
 ret
