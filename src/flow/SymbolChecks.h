// The two passes over all symbols after the parse that settle each symbol's final
// binding: first the global check for every symbol, then the local check.
#pragma once

class Symbol;

// Aliases take their target's section, weak symbols become global or external,
// equates over unresolved weak symbols are E250, and used symbols without a
// definition become external (E205 or W201 where the source asked otherwise).
void checkGlobalSymbol(Symbol& symbol);
// Declared scopes against what the module did with the symbol: E205, W201, W202,
// E197, W199; a symbol without a declared scope gets its default binding.
void checkLocalSymbol(Symbol& symbol);
