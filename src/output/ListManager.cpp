#include "output/ListManager.h"

// The list file comes with the listing work; no option turns it on yet.
void ListManager::generate() {}
