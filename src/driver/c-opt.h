// The table-driven option parser: matches command-line words and the words of
// option files against the option table, stores their values, and answers the
// queries through which the rest of the program reads the options.
//
// The parse never stops at a bad word: it keeps the first error text and goes
// on; unknown words end up as values of ERR and ERROR.
#pragma once

#include <cstdint>
#include <cstdio>

#include "driver/OptionTable.h"

// Thrown by a failed check of the parser once the options object has switched
// checks to throwing (installOptAssertHandler).
struct optAssertException {
  const char* file;
  int line;
};

// Prepares the table, applies the defaults and parses argv[1..argc-1]; returns
// the first error text, or null when the command line was correct. A new call
// starts from a fresh table.
const char* opt_parse(int argc, char** argv);
// Clears every run-time value and the saved arguments.
void opt_release();

// From now on a failed check throws optAssertException instead of aborting.
void installOptAssertHandler(bool throwing = true);

// The first error text of the parse, or null.
const char* opt_error_text();

// Queries by record id. A count of 0 means the value is the table's default.
uint32_t opt_count(uint32_t id);
intptr_t opt_get_value(uint32_t id);
const char* opt_get_string(uint32_t id);
bool opt_get_bool(uint32_t id);
const char* opt_get_string_at(uint32_t id, uint32_t index);
int32_t opt_get_int_at(uint32_t id, uint32_t index);
// Positional argument (input file) number index.
const char* opt_get_arg(uint32_t index);

// The command line as parsed: option files replaced by their words.
uint32_t opt_saved_argc();
const char* opt_saved_arg(uint32_t index);

// Display name of a record as messages and help show it ("-D", "--page-width=").
const char* opt_name(uint32_t id);

// Storing values (also used by the defaults and by the options classes).
void opt_setBool(uint32_t id, int value);
void opt_setInt(uint32_t id, int32_t value);
void opt_setString(uint32_t id, const char* text);

// Handles one word; null marks the end of the words.
void opt_parseArg(const char* word);
// Parses the words of an option file ("-" is standard input) in place.
void opt_readOptionFile(const char* name);

// The prepared tree, for the help output.
const OptionRecord& opt_record(uint32_t id);
// Attribute text, "" for an attribute given without a value, null when absent.
const char* opt_attr(uint32_t id, OptionAttribute attribute);
uint32_t opt_first_child(uint32_t id);
uint32_t opt_next_sibling(uint32_t id);

// Help output.
void opt_print_summary(FILE* stream);
void opt_print_list(FILE* stream);
