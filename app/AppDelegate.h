#pragma once

#include "platform/ZAVApplication.h"

// The application delegate. It adds nothing: every decision the desktop leaves to the
// application (closing the last window ends the run, and so on) takes the default.
class AppDelegate : public ZAVApplicationDelegate {
};
