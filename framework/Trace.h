// One line per refusal or failure, so that "it did nothing" can be diagnosed on a user's machine
// with a debug-output viewer (DebugView, Wine's +debugstr channel). Never shown to the user.
#pragma once

// printf rules; the line gets the "qxChecker: " prefix and its line end here.
void Trace(const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
