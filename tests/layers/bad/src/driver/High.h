#pragma once
#include "util/Low.h"
