// The Windows console's input events, reduced to what decides whether an
// event is a key press and which codes it gives. Pure, and free of
// windows.h, so that it builds and is tested on any platform.
#ifndef CONSOLE_EVENTS_WINDOWS_H
#define CONSOLE_EVENTS_WINDOWS_H

#include "pc-keys.h"

// The fields of a console INPUT_RECORD that matter here, as the console
// gives them.
struct console_event {
    unsigned event_type;    // KEY_EVENT is 1; mouse, resize, menu and focus events are others
    bool key_down;          // false for a key release
    unsigned virtual_key;   // wVirtualKeyCode
    unsigned character;     // the UTF-16 unit the key yields, 0 when it yields none
    unsigned control_state; // dwControlKeyState
};

// The codes of the key press in the event; first is -1 when the event is no
// key press: a release, a modifier or lock key pressed alone, or another kind
// of event. high_surrogate carries the first half of a character beyond the
// Basic Multilingual Plane from its event to the next; start it at 0.
key_codes console_event_codes(const console_event &event, unsigned *high_surrogate);

#endif
