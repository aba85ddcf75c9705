#include "parser/OrbaParser.h"

// Statements are not parsed yet: every line is accepted as it stands.
void OrbaParser::parse() {}
