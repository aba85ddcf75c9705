#include "objlib/ios_hook.h"
#include "util/RunState.h"

namespace {
struct HookState {
  IosHookFunction installedHook = nullptr;
};
HookState& hookState() { return runPart<HookState>(); }

int raise(int event) { return hookState().installedHook != nullptr ? hookState().installedHook(event) : 0; }
}  // namespace

IosHookFunction mmi_set_hook(IosHookFunction hook) {
  IosHookFunction previous = hookState().installedHook;
  hookState().installedHook = hook;
  return previous;
}

IosHookFunction ios_set_hook(IosHookFunction hook) {
  hookState().installedHook = hook;
  return hook;
}

int mmi_hook_event1() { return raise(IOS_EVENT_INCONSISTENCY); }
int mmi_hook_event2() { return raise(IOS_EVENT_NO_MEMORY); }
int mmi_hook_event4() { return raise(IOS_EVENT_NODE_IN_USE); }
int mmi_hook_event5() { return raise(IOS_EVENT_FIVE); }
