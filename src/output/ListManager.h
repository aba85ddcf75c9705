// Writes the list file.
#pragma once

class ListManager {
 public:
  virtual ~ListManager() = default;
  virtual void generate();
};
