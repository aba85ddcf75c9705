#include "flow/Section.h"

Section* placeholderSection = nullptr;
