#pragma once
// The capture program's tie to the window that started it, so no copy is
// left running after a window that was killed (SIGKILL) or crashed.
namespace m470 {

// Reads "--parent PID" of the command line. With it, the program is sent
// SIGTERM when its parent ends, and false is returned when the parent has
// ended already (the program must end at once); a command line without it
// (a start by hand) is true and ties nothing. A PID that is not a positive
// number is false.
bool TieToParent(int argc, const char* const* argv);

}  // namespace m470
