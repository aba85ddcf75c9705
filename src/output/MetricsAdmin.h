// Instruction metrics, kept only when the options ask for them.
#pragma once

class MetricsAdmin {
 public:
  MetricsAdmin() = default;
  ~MetricsAdmin() = default;
};
