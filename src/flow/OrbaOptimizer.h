// Lays out every section at addresses, settles sizes and shortens jump chains.
#pragma once

class OrbaOptimizer {
 public:
  void run();
  // Lays out the debug sections made after the main layout.
  void layoutDebugSections();
};
