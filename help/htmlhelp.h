// The help engine's entry point, as the program finds it in hhctrl.so at run time.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Opens a help book at its default topic.
#define HH_DISPLAY_TOPIC 0u

// The type of HtmlHelpA, for a caller that looks the entry point up by name.
typedef void* (*HtmlHelpFunction)(void* window, const char* file, unsigned command, uintptr_t data);

// window: the caller's QWidget* (may be null); the help window is placed beside it but is not
// owned by it, so it stays open on its own and is destroyed when the application quits.
// file: a book (.chm). A bare name is looked for in the program's folder, then beside
// hhctrl.so; a name with a slash is taken as a path.
// command: HH_DISPLAY_TOPIC shows the book's default topic in its help window, opening the
// window or bringing the book's open window forward. Every other command does nothing.
// data: not used by HH_DISPLAY_TOPIC.
// Returns the help window (a QWidget*), or null when nothing was shown: another command, a
// book that is missing or cannot be read, no QApplication, or a call from another thread.
void* HtmlHelpA(void* window, const char* file, unsigned command, uintptr_t data);

#ifdef __cplusplus
}
#endif
