// The console keyboard: the terminal or console the user types at, never
// standard input, so that redirected input cannot end a wait.
#ifndef KEYBOARD_H
#define KEYBOARD_H

// True at once, without waiting, when a key press is waiting or the second
// code of a two-code key is still pending. False with no keyboard.
bool key_available();

// Waits for one key press and returns its code, without echo. A key that
// yields no character returns 0 or 0xE0 and leaves a second code pending for
// the next call. Returns -1 at once when there is no keyboard.
int read_key();

#endif
