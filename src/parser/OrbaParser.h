// The statement parser: walks the line list and builds sections, symbols and flow.
#pragma once

class OrbaParser {
 public:
  virtual ~OrbaParser() = default;
  virtual void parse();
};
