#pragma once

#include <csignal>
#include <string>

namespace repair {

// While a temporary file has a name of its own, SIGTERM, SIGINT, SIGHUP and SIGPIPE remove
// it before the program ends as the signal asks (a signal the caller ignores stays ignored).
// One name at a time; false when the name is too long to be kept for the handler.
bool removeOnSignal(const std::string& path);
void keepOnSignal();

// Holds those signals back while it lives, so that naming, renaming and registering a file
// are never cut apart: a signal that comes meanwhile takes effect at the end.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t old_;
};

} // namespace repair
