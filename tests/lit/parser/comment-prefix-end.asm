 .comment_prefix "//"
 .END // note
// The comment prefix set before .END also holds on the .END line: the note after it
// draws no diagnostic, with and without the preprocessor.
// RUN: %vekt --check %s > %t 2>&1; echo "status $?" >> %t
// RUN: FileCheck --match-full-lines %s < %t
// RUN: %vekt --check --preprocessor-type=none %s > %t.none 2>&1; echo "status $?" >> %t.none
// RUN: FileCheck --match-full-lines %s < %t.none
// CHECK-NOT:  {{.}}
// CHECK:      status 0
//
// Without the prefix the same note is text after the directive.
// RUN: printf ' .END // note\n' > %t.plain.asm
// RUN: %vekt --check %t.plain.asm > %t.plain 2>&1; echo "status $?" >> %t.plain
// RUN: FileCheck --match-full-lines --check-prefix=PLAIN %s < %t.plain
// PLAIN:      vekt E172: ["{{.*}}.plain.asm" 1] additional characters found after instruction or directive
// PLAIN-NEXT: status 1
