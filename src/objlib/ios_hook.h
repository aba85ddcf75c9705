// The event hook through which the object store reports internal events. Nothing
// is printed by the store; an embedding program may install a function to observe
// the events. Without one every event is silent.
#pragma once

enum IosHookEvent : int {
  IOS_EVENT_INCONSISTENCY = 1,
  IOS_EVENT_NO_MEMORY = 2,
  IOS_EVENT_NODE_IN_USE = 4,
  IOS_EVENT_FIVE = 5,  // a cursor stands on a node whose value was cleared
};

using IosHookFunction = int (*)(int event);

// Installs the run's hook (null removes it) and returns the previous one.
IosHookFunction mmi_set_hook(IosHookFunction hook);
// Installs the hook as well, for clients that want the installed function back.
IosHookFunction ios_set_hook(IosHookFunction hook);

// Each passes its event to the hook and returns the hook's result, 0 without a hook.
int mmi_hook_event1();
int mmi_hook_event2();
int mmi_hook_event4();
int mmi_hook_event5();
