; A .CALLS record whose caller does not become an object-file symbol (a label of a
; debug section) is dropped rather than stopping the run.
 .SDECL ".debug_x",DEBUG
 .SECT ".debug_x"
main:
 .CALLS "main","",32
