#pragma once

// `zelvo`'s askpass mode. brew runs without a terminal, so the terminal
// `zelvo` was started from is named in the environment for the askpass run
// that sudo starts much later, two sessions away.
namespace TerminalAskPass {

// Names this process's terminal for later askpass runs, or clears the name when there is none.
void publishTerminal();
// Asks on the named terminal with echo off and prints the password for sudo;
// without a terminal records that nobody could be asked. Returns the exit status.
int run();

} // namespace TerminalAskPass
