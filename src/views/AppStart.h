#pragma once

// What a process that shows the window does before its application object,
// in one place so that the app and the start-up bench cannot drift apart.
namespace AppStart {

// Starts reading the system's font list on a thread of its own, then readies
// the heap for the first window while that reading runs: the font list is
// the longest piece of the start, so it goes first.
void beforeApplication();

} // namespace AppStart
