// Switching the computer off at the end of a batch: through the login manager, which asks the
// other programs to end instead of forcing them closed, after a countdown the user can cancel.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

// Seconds the countdown window waits before the computer is switched off.
inline constexpr int ShutDownCountdownSeconds = 60;

// "systemctl poweroff". TESSARO_POWEROFF_COMMAND replaces it: a program and its arguments
// separated by blanks (no shell is involved).
std::vector<std::string> PowerOffCommand();
// Starts the power-off command; false when it could not be started.
bool ShutDownComputer();

// The countdown window's text for the seconds left.
std::string ShutDownCountdownText(int secondsLeft);

} // namespace tessaro
