// Two pieces of state that outlive a run, beside constants that are no state at all.
namespace {
int counter = 0;
const int kSteps[] = {1, 2, 4};
constexpr const char* kNames[] = {"one", "two"};
}  // namespace

int nextCount() { return counter += kSteps[counter % 3]; }

const char* lastValue(int index) {
  static const char* cached = nullptr;
  if (index >= 0 && index < 2) cached = kNames[index];
  return cached;
}
