// Text that says the same thing in each system's own word, chosen where it
// is compiled.
#pragma once

constexpr const char* OnEach(const char* onLinux, const char* onWindows) {
#ifdef _WIN32
    (void)onLinux;
    return onWindows;
#else
    (void)onWindows;
    return onLinux;
#endif
}
