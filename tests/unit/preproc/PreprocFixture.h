// Managers for the source-input tests: strings, errors, options, a fresh line
// state without files, and a factory for the line records; put back afterwards.
// Temporary source files are written into a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "output/FileNames.h"
#include "preproc/InputBuffer.h"
#include "util/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"

class PreprocTest : public testing::Test {
 protected:
  PreprocTest() : savedFactory_(runState().orbaFactory), savedDependencies_(runState().dependencyHandler) {
    runState().orbaFactory = &factory_;
    runState().dependencyHandler = &dependencies_;
    // The fixture's line state starts without the file that ScopedManagers registers.
    delete runState().lineState;
    runState().lineState = new LineState();
    InputBuffer::installPathOperations(normalizePathInBuffer, pathDirName);
    folder_ = std::filesystem::path(testing::TempDir()) /
              ("vekt_preproc_" +
               std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }

  ~PreprocTest() override {
    std::filesystem::remove_all(folder_);
    runState().orbaFactory = savedFactory_;
    runState().dependencyHandler = savedDependencies_;
  }

  // Writes the bytes to a file below the test's folder; returns its path.
  std::string writeFile(const std::string& name, const std::string& bytes) {
    std::filesystem::path path = folder_ / name;
    std::filesystem::create_directories(path.parent_path());
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (file) {
      std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::fclose(file);
    }
    return path.string();
  }

  // The texts of the diagnostics recorded at lines, in line order.
  std::vector<std::string> recordedTexts() const {
    std::vector<std::string> texts;
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    for (records.first(); !records.isDone(); records.next())
      texts.emplace_back(records.current()->text);
    return texts;
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  OrbaFactory factory_;
  DependencyHandler dependencies_;
  std::filesystem::path folder_;

 private:
  OrbaFactory* savedFactory_;
  DependencyHandler* savedDependencies_;
};
