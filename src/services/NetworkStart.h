#pragma once

// The first https request of a run sets up TLS: the backend plugin, the TLS
// library and its default settings, tens of milliseconds of work. Done on the
// pool as the program starts, it overlaps building the window instead of
// holding the first paint behind the first icon request.
namespace NetworkStart {

// Sets TLS up now, on the calling thread.
void prepare();

} // namespace NetworkStart
