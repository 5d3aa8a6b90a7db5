// What each platform's keyboard layer gives the front end (keyboard.cpp):
// the terminal on POSIX systems (keyboard-posix.cpp), the console on Windows
// (keyboard-windows.cpp).
#ifndef KEYBOARD_PLATFORM_H
#define KEYBOARD_PLATFORM_H

#include "pc-keys.h"

// True at once, without waiting, when a key press waits to be read. False
// when there is no keyboard.
bool platform_key_waiting();

// Waits for one key press, without echo, and gives its codes. The first is -1
// when there is no keyboard or it went away.
key_codes platform_read_key();

#endif
