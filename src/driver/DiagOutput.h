// Descriptions of catalog messages (--diag) as plain text, HTML or RTF.
#pragma once

#include <cstdint>
#include <string>

// Renders the explanations that the argument "[<fmt>:]{all|<nr>,...}" selects.
// On failure *errorText is set ("unsupported output format" or
// "unknown diagnostic: \"...\"") and the text built so far is returned.
std::string diag_describe(const char* argument, std::string* errorText);

// Walks a selection list and calls back with the identifier of every selected
// message; false, with the item that names no message, when one does not.
using DiagCallback = void (*)(int32_t id, void* context);
bool diag_select(const std::string& list, DiagCallback callback, void* context,
                 std::string* unknownItem);
