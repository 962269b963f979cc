#pragma once

#include <QString>

#include <optional>

// sudo asks for a password through the program named by SUDO_ASKPASS: it runs
// it with the prompt as the only argument and reads the password from its
// standard output. Homebrew runs without a terminal here, so that program is
// our own executable started again in an askpass mode: the window shows a
// password dialog, `zelvo` asks on the terminal it was started from.
//
// sudo only reports that no password came, so the outcome the user saw is
// left in a status file whose path travels in the environment; the same
// variable tells the executable it was started to ask. brew clears its
// environment of everything but a few names and those starting HOMEBREW_,
// so ours start that way to reach sudo.
namespace AskPass {

inline constexpr char statusVariable[] = "HOMEBREW_ZELVO_ASKPASS_STATUS";
// Set by `zelvo` when it has a terminal: brew and sudo run without one.
inline constexpr char terminalVariable[] = "HOMEBREW_ZELVO_ASKPASS_TERMINAL";

enum class Outcome { answered, cancelled, noTerminal };

// This process was started by sudo to ask for a password.
bool requested();
// The Chinese sentence that goes with sudo's English prompt.
QString question();
// Records the outcome; on answered prints password for sudo. Returns the exit status.
int finish(Outcome outcome, const QString &password = {});
// What the asking process recorded in the status file, if it ran.
std::optional<Outcome> recorded(const QString &statusPath);

} // namespace AskPass
