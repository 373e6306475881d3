#pragma once

#include "runtime/runtime.hpp"

// The launcher's one window, Form1, built from the layout data by the
// toolkit of the system.
namespace dss {

// Creates the window, runs its Load step (the executable path preset),
// shows it with the focus in the map field and handles its events until the
// user closes it. Returns the program's exit status.
int RunMainWindow(Runtime& runtime);

} // namespace dss
