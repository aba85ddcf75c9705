// A parse of a few source lines with fresh run-wide managers: the lines go into the
// line list as the plain preprocessor leaves them, marked for assembly, and the
// statement parser walks them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "parser/LineFlags.h"
#include "parser/OrbaParser.h"
#include "preproc/LineState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"

class ParseTest : public testing::Test {
 protected:
  ParseTest() {
    savedFactory_ = runState().orbaFactory;
    savedAdmin_ = runState().sectionAdmin;
    savedPlaceholder_ = runState().placeholderSection;
    runState().orbaFactory = &factory_;
    runState().sectionAdmin = new SectionAdmin();
    runState().placeholderSection = nullptr;
  }
  ~ParseTest() override {
    delete runState().sectionAdmin;
    runState().sectionAdmin = savedAdmin_;
    runState().orbaFactory = savedFactory_;
    runState().placeholderSection = savedPlaceholder_;
  }

  // A fresh run for one case of a table: new managers and an empty section table, and
  // no lines of an earlier case.
  class FreshRun {
   public:
    explicit FreshRun(ParseTest& test) {
      test.lines.clear();
      delete runState().sectionAdmin;
      runState().sectionAdmin = new SectionAdmin();
      runState().placeholderSection = nullptr;
    }

   private:
    ScopedManagers managers_{ScopedManagers::kAll};
  };

  // Appends the lines (numbered from 1) and parses the whole list.
  void parse(const std::vector<const char*>& source) {
    int32_t number = 1;
    for (const char* text : source) {
      LineInfo* line = runState().lineState->appendLine((std::string(text) + "\n").c_str(), 0, number++, 0);
      line->flags[0] |= lineflag::kAssemble;
      lines.push_back(line);
    }
    OrbaParser parser;
    parser.parse();
  }

  // The recorded diagnostics as "E168@2" (the severity letter, number and line).
  static std::vector<std::string> diagnostics() {
    std::vector<std::string> found;
    for (ErrorHandler::ErrorIter it(*runState().errorHandler); !it.isDone(); it.next()) {
      const ErrorLine* record = it.current();
      std::string text(record->text, 4);
      if (record->position) {
        text += '@';
        text += std::to_string(record->position->lineNumber);
      }
      found.push_back(text);
    }
    return found;
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  TriCoreFactory factory_;
  std::vector<LineInfo*> lines;

 private:
  OrbaFactory* savedFactory_;
  SectionAdmin* savedAdmin_;
  Section* savedPlaceholder_;
};
