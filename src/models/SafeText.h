#pragma once

#include <QString>

// Text that came from outside (imports, the Homebrew API, servers) is shown
// in terminals and used in file names. Control characters would let it move
// the cursor, repaint the screen or set the terminal's title, and bidi
// overrides make a name read differently from what it is ("exe.app" shown
// as "ppa.exe"). Each such character becomes U+FFFD; other text is kept.
QString neutralizeControls(const QString &text);
bool isUnsafeTextChar(char32_t c);
