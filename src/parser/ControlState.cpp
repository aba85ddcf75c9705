#include "parser/ControlState.h"

ControlState::ControlState() = default;
