#include "util/OrbaState.h"

DwarfAdmin* _dwarfAdmin = nullptr;
ErrorHandler* _errorHandler = nullptr;
DependencyHandler* _dependencyHandler = nullptr;
InstructionParser* _instructionParser = nullptr;
LineState* _lineState = nullptr;
MetricsAdmin* _metricsAdmin = nullptr;
OrbaPreprocessor* _preProcessor = nullptr;
SectionAdmin* _sectionAdmin = nullptr;
StringBuffer* _stringBuffer = nullptr;
SymbolTable* _symbolTable = nullptr;
OrbaFactory* _orbaFactory = nullptr;
RunSettings* _orbaOptions = nullptr;
SourceNameLookup _sourceNameLookup = nullptr;
Section* _placeholderSection = nullptr;
