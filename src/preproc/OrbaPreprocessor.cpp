#include "preproc/OrbaPreprocessor.h"

#include <cstdio>
#include <string>

#include "util/ErrorHandler.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"

OrbaPreprocessor::OrbaPreprocessor() : controlState_(orbaFactory()->createControlState()) {}

OrbaPreprocessor::~OrbaPreprocessor() = default;

void OrbaPreprocessor::openSource(const char* fileName) {
  FILE* file = std::fopen(fileName, "rb");
  if (!file) {
    errorHandler()->reportWithoutLocation(F_cannot_open, fileName);
    return;
  }
  LineState* lines = lineState();
  uint32_t fileIndex = lines->addSourceFile(fileName);
  StringBuffer* strings = stringBuffer();
  std::string text;
  uint32_t lineNumber = 0;
  char chunk[4096];
  // Lines keep their newline so that pass-through output reproduces the source.
  auto flush = [&]() {
    LineInfo* line = orbaFactory()->createLineInfo(strings->intern(text.c_str()), fileIndex,
                                                   ++lineNumber, 0);
    line->controlState = controlState_.get();
    line->flags[0] |= 0x01;
    lines->append(line);
    text.clear();
  };
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    for (size_t i = 0; i < got; ++i) {
      text.push_back(chunk[i]);
      if (chunk[i] == '\n') flush();
    }
  }
  if (!text.empty()) flush();
  std::fclose(file);
}
