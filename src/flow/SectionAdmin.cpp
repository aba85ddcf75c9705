#include "flow/SectionAdmin.h"

SectionAdmin::~SectionAdmin() = default;
