#pragma once

namespace wibblet {

/// Silences the one warning the offscreen platform prints for every window
/// (it cannot raise windows or pass size hints on); every other Qt message
/// still goes where it went. For the test, benchmark and fuzz programs, which
/// run without a display.
void QuietOffscreenWarnings();

} // namespace wibblet
