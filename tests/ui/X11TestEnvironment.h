#pragma once
// What the X11 tests' main set up.

#include <string>

namespace zav::test {

// Empty when the application runs on a private Xvfb; otherwise why it could not start.
const std::string& TestDisplayProblem();
// The DISPLAY of that server.
const std::string& TestDisplay();
// DBUS_SESSION_BUS_ADDRESS of the private session bus the tests run with (empty when it could
// not start): desktop services of a test's own, and none of the machine's.
const std::string& TestBusAddress();

}  // namespace zav::test
