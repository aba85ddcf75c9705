#include "objlib/ios_hook.h"

namespace {
IosHookFunction installedHook = nullptr;

int raise(int event) { return installedHook != nullptr ? installedHook(event) : 0; }
}  // namespace

IosHookFunction mmi_set_hook(IosHookFunction hook) {
  IosHookFunction previous = installedHook;
  installedHook = hook;
  return previous;
}

int mmi_hook_event1() { return raise(IOS_EVENT_INCONSISTENCY); }
int mmi_hook_event2() { return raise(IOS_EVENT_NO_MEMORY); }
int mmi_hook_event4() { return raise(IOS_EVENT_NODE_IN_USE); }
int mmi_hook_event5() { return raise(IOS_EVENT_FIVE); }
