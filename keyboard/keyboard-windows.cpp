// The console keyboard on Windows: the console's own input buffer (CONIN$),
// whatever standard input is. Only key presses count; key releases, modifier
// keys alone and focus, mouse, menu and resize events are passed over.

#include <windows.h>

#include "console-events-windows.h"
#include "keyboard-platform.h"

// The console's input buffer, INVALID_HANDLE_VALUE until first opened.
static HANDLE console_input = INVALID_HANDLE_VALUE;
// True once there is no console, or reading it failed.
static bool keyboard_gone;
// The console's input mode, put back when a read ends.
static DWORD saved_mode;
// Nonzero while read_key has changed the input mode; the control handler reads it.
static volatile LONG raw_input_active;
// The first half of a character beyond the Basic Multilingual Plane, 0 when none.
static unsigned high_surrogate;

static console_event event_of(const INPUT_RECORD &record)
{
    console_event event = {record.EventType, false, 0, 0, 0};
    if (record.EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD &key = record.Event.KeyEvent;
        event.key_down = key.bKeyDown != FALSE;
        event.virtual_key = key.wVirtualKeyCode;
        event.character = key.uChar.UnicodeChar;
        event.control_state = key.dwControlKeyState;
    }
    return event;
}

// Closing the console window or Ctrl+Break during a read ends the program:
// put the input mode back first, then let the default handling go on.
static BOOL WINAPI restore_console_and_end(DWORD)
{
    if (raw_input_active != 0)
        SetConsoleMode(console_input, saved_mode);
    return FALSE;
}

// Opens the console's input buffer on first use; false when there is none.
static bool open_keyboard()
{
    if (keyboard_gone)
        return false;
    if (console_input != INVALID_HANDLE_VALUE)
        return true;
    console_input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (console_input == INVALID_HANDLE_VALUE || !GetConsoleMode(console_input, &mode)) {
        keyboard_gone = true;
        return false;
    }
    SetConsoleCtrlHandler(restore_console_and_end, TRUE);
    return true;
}

bool platform_key_waiting()
{
    if (!open_keyboard())
        return false;
    // Events that are no key press are read and dropped until a key press
    // is first in the buffer, or the buffer is empty.
    for (;;) {
        DWORD waiting = 0;
        INPUT_RECORD record;
        DWORD count = 0;
        if (!GetNumberOfConsoleInputEvents(console_input, &waiting) || waiting == 0 ||
            !PeekConsoleInputW(console_input, &record, 1, &count) || count == 0)
            return false;
        unsigned surrogate = high_surrogate; // a look only: the state stays as it is
        if (console_event_codes(event_of(record), &surrogate).first >= 0)
            return true;
        if (!ReadConsoleInputW(console_input, &record, 1, &count))
            return false;
        console_event_codes(event_of(record), &high_surrogate);
    }
}

key_codes platform_read_key()
{
    key_codes codes = {-1, -1};
    if (!open_keyboard() || !GetConsoleMode(console_input, &saved_mode))
        return codes;
    // Ctrl+C is a key like any other while the read lasts, and nothing echoes.
    raw_input_active = 1;
    SetConsoleMode(console_input,
                   saved_mode & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT |
                                                    ENABLE_ECHO_INPUT));
    while (codes.first < 0) {
        INPUT_RECORD record;
        DWORD count = 0;
        // Blocks in the console until an event comes.
        if (!ReadConsoleInputW(console_input, &record, 1, &count) || count == 0) {
            keyboard_gone = true;
            break;
        }
        codes = console_event_codes(event_of(record), &high_surrogate);
    }
    SetConsoleMode(console_input, saved_mode);
    raw_input_active = 0;
    return codes;
}
