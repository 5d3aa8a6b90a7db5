// The console keyboard on a POSIX terminal. Keys come from the controlling
// terminal, which is put in raw input for the duration of each call only and
// restored before the call returns, or before a signal ends the program.

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "key-decoder.h"
#include "keyboard.h"

// How long to wait for the rest of a key press once its first byte is in: a
// lone Escape is told from the start of a sequence by nothing following it.
static const int sequence_wait_ms = 75;

// The controlling terminal, -1 until first opened.
static int terminal_fd = -1;
// True once there is no terminal, or it reached end of file or hung up.
static bool keyboard_gone;
// The terminal's own settings, put back when raw input ends.
static struct termios saved_settings;
// Nonzero while the terminal is in raw input; the signal handler reads it.
static volatile sig_atomic_t raw_input_active;
// The second code of the last two-code key, -1 when none is pending.
static int pending_code = -1;
// Bytes read past the last key press: the start of the next one.
static unsigned char unread_bytes[key_bytes_max];
// How many of unread_bytes are in use.
static size_t unread_length;

// Ending signals restore the terminal first, so the shell never gets it
// back without echo, then end the program as they would have.
static void restore_terminal_and_end(int signal_number)
{
    if (raw_input_active)
        (void)tcsetattr(terminal_fd, TCSANOW, &saved_settings);
    // SA_RESETHAND put the default action back; it runs once the handler returns.
    (void)raise(signal_number);
}

static void catch_ending_signals()
{
    static const int ending_signals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = restore_terminal_and_end;
    sigfillset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal_number : ending_signals) {
        struct sigaction previous;
        // A signal that the user had ignored (nohup) stays ignored.
        if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal_number, &action, nullptr);
    }
}

// Opens the controlling terminal on first use; false when there is none.
static bool open_keyboard()
{
    if (keyboard_gone)
        return false;
    if (terminal_fd >= 0)
        return true;
    terminal_fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal_fd < 0) {
        keyboard_gone = true;
        return false;
    }
    catch_ending_signals();
    return true;
}

static bool enter_raw_input()
{
    if (tcgetattr(terminal_fd, &saved_settings) != 0) {
        keyboard_gone = true;
        return false;
    }
    struct termios raw = saved_settings;
    // Every byte as it is typed, unechoed and unchanged: no line editing, no
    // signal keys (Ctrl+C, Ctrl+Z and Ctrl+\ are keys like any other), no
    // XON/XOFF, no CR-to-NL or other mapping of input, all eight bits.
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IXON | PARMRK);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    // Output processing is left alone: the program's lines keep their line ends.
    raw.c_cc[VMIN] = 1; // a read returns as soon as one byte is there
    raw.c_cc[VTIME] = 0;
    raw_input_active = 1;
    // TCSANOW, never TCSAFLUSH: that would throw away keys already typed.
    while (tcsetattr(terminal_fd, TCSANOW, &raw) != 0) {
        if (errno != EINTR) {
            raw_input_active = 0;
            keyboard_gone = true;
            return false;
        }
    }
    return true;
}

// Safe to call when raw input is not on.
static void leave_raw_input()
{
    if (!raw_input_active)
        return;
    while (tcsetattr(terminal_fd, TCSANOW, &saved_settings) != 0 && errno == EINTR) {
    }
    raw_input_active = 0;
}

// True when input, end of file or a hangup is there within wait_ms.
static bool input_within(int wait_ms)
{
    struct pollfd terminal = {terminal_fd, POLLIN, 0};
    int ready;
    do
        ready = poll(&terminal, 1, wait_ms);
    while (ready < 0 && errno == EINTR);
    return ready != 0;
}

// Reads one byte, waiting at most wait_ms, or as long as it takes when
// wait_ms is negative. Returns 1 with a byte, 0 when the wait ran out, and
// -1 when the keyboard is gone (end of file, hangup, any other error).
static int read_byte(int wait_ms, unsigned char *byte)
{
    if (wait_ms >= 0 && !input_within(wait_ms))
        return 0;
    ssize_t count;
    do
        count = read(terminal_fd, byte, 1);
    while (count < 0 && errno == EINTR);
    if (count == 1)
        return 1;
    keyboard_gone = true;
    return -1;
}

bool key_available()
{
    if (pending_code >= 0 || unread_length > 0)
        return true;
    if (!open_keyboard() || !enter_raw_input())
        return false;
    // Keys typed in line mode become readable once raw input is on. End of
    // file and a hangup count too: read_key then finds the keyboard gone.
    const bool available = input_within(0);
    leave_raw_input();
    return available;
}

int read_key()
{
    if (pending_code >= 0) {
        const int code = pending_code;
        pending_code = -1;
        return code;
    }

    // A key press left over whole from the last call needs no terminal; one
    // whose rest can no longer come is taken as far as it goes.
    key_codes key = {-1, -1};
    size_t taken =
        unread_length > 0 ? decode_key(unread_bytes, unread_length, !keyboard_gone, &key) : 0;
    if (taken == 0 && open_keyboard() && enter_raw_input()) {
        // Bytes are read one at a time, so that no byte of a later key press
        // is taken from the terminal; the decoder says when a key is whole.
        while (taken == 0) {
            bool more_may_follow = unread_length < sizeof unread_bytes;
            if (more_may_follow) {
                const int wait_ms = unread_length == 0 ? -1 : sequence_wait_ms;
                if (read_byte(wait_ms, &unread_bytes[unread_length]) > 0)
                    ++unread_length;
                else
                    more_may_follow = false;
            }
            if (unread_length == 0)
                break; // the keyboard went before a key came
            taken = decode_key(unread_bytes, unread_length, more_may_follow, &key);
        }
        leave_raw_input();
    }
    if (taken == 0)
        return -1;

    unread_length -= taken;
    memmove(unread_bytes, unread_bytes + taken, unread_length);
    pending_code = key.second;
    return key.first;
}
