; The library's translating ELF entry, given no translator, writes the store file byte
; for byte as the assembler's own writer does: relocatable output with code, data,
; relocations and symbols.
; RUN: rm -f %t.o %t.copy.o
; RUN: %ieee-probe --elf-copy %t.copy.o %s -o %t.o 2>&1 | count 0
; RUN: cmp %t.o %t.copy.o
; RUN: readelf -h %t.copy.o | FileCheck %s
; CHECK: Type: REL (Relocatable file)
; CHECK: Machine: Siemens Tricore
 .SDECL ".text",CODE
 .SDECL ".data",DATA
 .EXTERN ext
 .GLOBAL start
 .SECT ".text"
start:
 call ext
 mov d2,#5
 ret
 .SECT ".data"
value:
 .WORD start, 7
