#!/bin/sh
# equate-symbol.sh POSITION VALUE SCOPE: a source whose equate X (value VALUE, or
# ".ALIAS N" style when VALUE starts with .ALIAS) is written at POSITION (before any
# section, inside the code section, inside another data section, after its use) and is
# global or local. N is a number equate written next to X; tlab, rlab and plab are
# labels of a relocatable code section, a relocatable data section and a data section
# placed at 0x100.
position=$1 value=$2 scope=$3
case $value in
  .ALIAS*) definition="N .EQU 0x10
X $value" ;;
  *) definition="N .EQU 0x10
X .EQU $value" ;;
esac
at() { if [ "$position" = "$1" ]; then echo "$definition"; else echo ";"; fi; }
printf '\t.sdecl ".text.t",code\n\t.sdecl ".data.r",data\n\t.sdecl ".data.p",data AT 0x100\n\t.sdecl ".data.o",data\n'
at before
printf '\t.sect ".data.r"\n\t.word 0\nrlab:\t.word 0\n\t.sect ".data.p"\n\t.word 0\nplab:\t.word 0\n\t.sect ".data.o"\n'
at other
printf '\t.word 0\n\t.sect ".text.t"\n\tnop\ntlab:\tnop\n'
at inside
printf '\tnop\n'
if [ "$scope" = global ]; then printf '\t.global X\n'; fi
at after
