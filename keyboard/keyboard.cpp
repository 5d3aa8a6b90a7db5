// The console keyboard's two operations, the same on every platform. A key
// without a character comes from the platform layer as two codes at once;
// the front end hands them out one read at a time, as a PC console does.

#include "keyboard.h"
#include "keyboard-platform.h"

// The second code of the last two-code key, -1 when none is pending.
static int pending_code = -1;

bool key_available() { return pending_code >= 0 || platform_key_waiting(); }

int read_key()
{
    if (pending_code >= 0) {
        const int code = pending_code;
        pending_code = -1;
        return code;
    }
    const key_codes key = platform_read_key();
    pending_code = key.second;
    return key.first;
}
