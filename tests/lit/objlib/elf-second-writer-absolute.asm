; Absolute output through the library's translating entry without a translator: the
; same bytes as the assembler's own writer, program headers included.
; RUN: rm -f %t.o %t.copy.o
; RUN: %ieee-probe --elf-copy %t.copy.o -a %s -o %t.o 2>&1 | count 0
; RUN: cmp %t.o %t.copy.o
; RUN: readelf -h -l -W %t.copy.o | FileCheck %s
; CHECK: Type: EXEC (Executable file)
; CHECK: LOAD 0x{{[0-9a-f]+}} 0x00001000 0x00001000 0x00008 0x00008
; CHECK: LOAD 0x{{[0-9a-f]+}} 0x80000000 0x80000000 0x00002 0x00002
 .SDECL ".a",DATA AT 0x1000
 .SDECL ".text",CODE AT 0x80000000
 .SECT ".a"
 .WORD 1, 2
 .SECT ".text"
 nop
