#pragma once
// What the X11 tests' main set up.

#include <string>

namespace zav::test {

// Empty when the application runs on a private Xvfb; otherwise why it could not start.
const std::string& TestDisplayProblem();
// The DISPLAY of that server.
const std::string& TestDisplay();

}  // namespace zav::test
