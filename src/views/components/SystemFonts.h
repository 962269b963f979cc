#pragma once

// The system's list of fonts, read ahead of the GUI toolkit. Reading it is a
// large share of a start-up (fontconfig parses its whole configuration; Core
// Text builds its registry of fonts), and Qt does it only when the first font
// is asked for, after the application object exists. Begun on a thread of its
// own as the process starts, it overlaps the making of the application object.
namespace SystemFonts {

// Begins the reading on a thread of its own; later calls do nothing.
void startReading();
// Returns once the reading begun is done, at once if none was begun. Call it
// before the first use of Qt's font database, so that the two readings do not
// run side by side and do the work twice.
void waitRead();

// The platform's reading, which startReading runs (one twin per system).
void read();

} // namespace SystemFonts
