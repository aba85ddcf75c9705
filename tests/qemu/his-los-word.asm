; A word loaded through @HIS/@LOS. Its address has bit 15 set, so @LOS is negative
; and @HIS must be rounded up to make up for it. 0x34 ^ 0x5A = 0x6E = 110.
; EXPECT: 110
 .SDECL ".text",CODE AT 0x80000000
 .SDECL ".data",DATA AT 0xd0008000
 .SECT ".data"
 .WORD 0
key:
 .WORD 0x5A001234
 .SECT ".text"
 movh.a a3,#@HIS(key)
 lea a3,[a3]@LOS(key)
 ld.w d0,[a3]0
 sh d1,d0,#-24
 xor d0,d0,d1
 movh.a a15,#0xf000
 st.w [a15]0,d0
halt:
 j halt
