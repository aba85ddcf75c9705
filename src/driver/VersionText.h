// The program's version text: one line for list-file headers and the object
// file's producer records, and the banner of --version.
#pragma once

// The product line cut to fit, a blank, the version text and a newline; at most
// 77 characters before the newline. Static storage.
const char* versionString();

// Writes the banner (product and version, then the notice line) to standard error.
void printBanner();
