 .comment_prefix "//"
 .END // note
// The comment prefix set before .END also holds on the .END line.
// RUN: %vekt --check %s > %t 2>&1; echo "status $?" >> %t
// RUN: FileCheck --match-full-lines %s < %t
// RUN: %vekt --check --preprocessor-type=none %s > %t.none 2>&1; echo "status $?" >> %t.none
// RUN: FileCheck --match-full-lines %s < %t.none
// CHECK:      status 0
