#pragma once

#include <QString>

// Only spaces and tabs count as padding around a typed id, name or cask
// name; other white space stays part of the text.
QString trimSpacesAndTabs(const QString &text);
