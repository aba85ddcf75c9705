#include "driver/VersionText.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include "util/RunState.h"

namespace {

constexpr char kVersion[] = "?.?";
constexpr char kRevision[] = "0";
constexpr char kBuild[] = "341";
constexpr char kNotice[] = "Copyright (c) the vekt authors. All rights reserved.   ";
constexpr int kVersionLineWidth = 76;

std::string productLine() { return std::string("ZELKOVA ") + "Kalvo for TriCore: assembler"; }

std::string versionText() {
  char text[96];
  std::snprintf(text, sizeof text, "v%.*sr%.*s Build %.*s", 22, kVersion, 22, kRevision, 22,
                kBuild);
  return text;
}

std::string noticeLine() {
  std::string notice = kNotice;
  while (!notice.empty() && notice.back() == ' ') notice.pop_back();
  return notice;
}

}  // namespace

namespace {
struct VersionLine {
  std::string text;
};
}  // namespace

const char* versionString() {
  std::string& line = runPart<VersionLine>().text;
  if (line.empty()) {
    std::string version = versionText();
    size_t room = static_cast<size_t>(kVersionLineWidth) - version.size();
    line = productLine().substr(0, room) + " " + version + "\n";
  }
  return line.c_str();
}

void printBanner() {
  std::string notice = noticeLine();
  int width = static_cast<int>(std::max(productLine().size(), notice.size()) + 3);
  std::fprintf(stderr, "%-*sv%sr%s Build %s\n%-*s\n", width, productLine().c_str(), kVersion,
               kRevision, kBuild, width, notice.c_str());
  std::fflush(stderr);
}
