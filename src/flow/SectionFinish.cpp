#include "flow/SectionFinish.h"

#include <cstring>

#include "expr/OrbaExpression.h"
#include "flow/Section.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

std::string finalSectionName(const char* name, const char* linkOnceKey) {
  if (!name) name = "";
  if (linkOnceKey && *linkOnceKey) {
    std::string result = ".zelkova.linkonce.";
    result += name;
    result += '.';
    result += linkOnceKey;
    return result;
  }
  const char* at = std::strchr(name, '@');
  return at ? std::string(name, at) : std::string(name);
}

void finishLinkOnceName(Section& section) {
  std::string finalName = finalSectionName(section.getName(), section.linkOnceKey);
  // Messages and the summary keep showing the name the source wrote.
  section.setDisplayName(section.getDisplayName());
  section.setName(stringBuffer()->intern(finalName.c_str()));
}

void checkSectionPage(const Section& section) {
  if (section.pageSize <= 0) return;
  auto pageSize = static_cast<int64_t>(section.pageSize);
  ErrorHandler* handler = errorHandler();
  if (!section.hasAddress) {
    if (section.size > pageSize)
      handler->reportText(handler->formatMessage(E_section_page_size_exceeded, section.getDisplayName()),
                          section.line);
    return;
  }
  OrbaExpression* base = section.baseExpression() ? section.baseExpression()->evaluate() : nullptr;
  if (!base || base->isError() || base->getKind() != EK_integer) return;
  int64_t start = base->getInteger();
  int64_t intoPage = start % pageSize;
  if (intoPage < 0) intoPage += pageSize;
  if (intoPage + static_cast<int64_t>(section.size) > pageSize)
    handler->reportText(handler->formatMessage(E_section_boundary_crossed, section.getDisplayName()),
                        section.line);
}
