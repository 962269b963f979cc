#pragma once

// The window's askpass mode: sudo, run by Homebrew without a terminal, starts
// this executable again to ask for the administrator password.
namespace AskPassDialog {

// Shows the password dialog; the password goes to standard output for sudo.
// Returns the process's exit status (non-zero when the user cancelled).
int run();

} // namespace AskPassDialog
