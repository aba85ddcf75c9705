#include "objlib/ios_hook.h"

#include "objlib/objlib_state.h"

namespace {
int raise(int event) {
  IosHookFunction hook = objlib_state().hook;
  return hook != nullptr ? hook(event) : 0;
}
}  // namespace

IosHookFunction mmi_set_hook(IosHookFunction hook) {
  IosHookFunction previous = objlib_state().hook;
  objlib_state().hook = hook;
  return previous;
}

IosHookFunction ios_set_hook(IosHookFunction hook) {
  objlib_state().hook = hook;
  return hook;
}

int mmi_hook_event1() { return raise(IOS_EVENT_INCONSISTENCY); }
int mmi_hook_event2() { return raise(IOS_EVENT_NO_MEMORY); }
int mmi_hook_event4() { return raise(IOS_EVENT_NODE_IN_USE); }
int mmi_hook_event5() { return raise(IOS_EVENT_FIVE); }
