#include "isa/InstructionParser.h"

#include "isa/InstructionMatcher.h"

InstructionParser::InstructionParser() { isa::initMatchModule(); }
InstructionParser::~InstructionParser() { isa::releaseMatchModule(); }
