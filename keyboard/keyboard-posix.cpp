// The console keyboard on a POSIX terminal. Keys come from the controlling
// terminal, which is in raw input only while a read lasts. Its own settings
// are read once the program is in the foreground, and put back when the read
// ends, before a signal stops the program and before a signal ends it.

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "key-decoder-posix.h"
#include "keyboard-platform.h"

// How long to wait for the rest of a key press once its first byte is in: a
// lone Escape is told from the start of a sequence by nothing following it.
static const int sequence_wait_ms = 75;

// The controlling terminal, -1 until first opened.
static int terminal_fd = -1;
// True once there is no terminal, it reached end of file or hung up, or the
// program cannot have it.
static bool keyboard_gone;
// The terminal's own settings, put back whenever raw input ends.
static struct termios saved_settings;
// True once saved_settings holds them.
static bool settings_saved;
// Nonzero while the terminal is in raw input; the signal handlers read it.
static volatile sig_atomic_t raw_input_active;
// Set by a signal handler when a stop or a continue took raw input away.
static volatile sig_atomic_t raw_input_lost;
// How often the program was continued after a stop.
static volatile sig_atomic_t times_continued;
// Bytes read past the last key press: the start of the next one.
static unsigned char unread_bytes[key_bytes_max];
// How many of unread_bytes are in use.
static size_t unread_length;

// Signals whose default action ends the program.
static const int ending_signals[] = {
    SIGHUP,    SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE, // sent to the program
    SIGALRM,   SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,                   // timers and limits
    SIGILL,    SIGTRAP,   SIGABRT, SIGBUS,  SIGFPE,  SIGSEGV, SIGSYS,  // faults
#if defined(__linux__)
    SIGSTKFLT, SIGIO,     SIGPWR, // elsewhere SIGIO is ignored by default
#endif
#if defined(SIGEMT)
    SIGEMT,
#endif
};

// Signals whose default action stops the program; SIGSTOP cannot be caught.
static const int stopping_signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

static bool in_foreground() { return tcgetpgrp(terminal_fd) == getpgrp(); }

// Safe in a signal handler. In the background the terminal is the shell's,
// and its settings are left alone.
static void restore_own_settings()
{
    if (raw_input_active && in_foreground())
        (void)tcsetattr(terminal_fd, TCSANOW, &saved_settings);
}

static void restore_terminal_and_end(int signal_number)
{
    restore_own_settings();
    // SA_RESETHAND put the default action back: raised again, the signal does
    // what it would have done once this handler returns (a fault recurs).
    (void)raise(signal_number);
}

// Stops the program as the signal's default action would, from inside its
// handler, and puts the handler back once the program is continued.
static void stop_as_by_default(int signal_number)
{
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    struct sigaction own_action = {};
    (void)sigaction(signal_number, &default_action, &own_action);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, signal_number);
    sigset_t handler_mask;
    (void)kill(getpid(), signal_number); // pending until unblocked, then it stops the program
    (void)sigprocmask(SIG_UNBLOCK, &just_this, &handler_mask);
    (void)sigprocmask(SIG_SETMASK, &handler_mask, nullptr);
    (void)sigaction(signal_number, &own_action, nullptr);
}

// As less and vim do: the shell gets the terminal back with its own settings.
static void restore_terminal_and_stop(int signal_number)
{
    const int saved_errno = errno;
    if (raw_input_active) {
        restore_own_settings();
        raw_input_lost = 1;
    }
    stop_as_by_default(signal_number);
    errno = saved_errno;
}

// Also after SIGSTOP, which no handler sees: a shell may have put its own
// settings on the terminal while the program was stopped.
static void note_continue(int)
{
    times_continued = times_continued + 1;
    if (raw_input_active)
        raw_input_lost = 1;
}

// Only from the default action: a signal that the user had ignored (nohup)
// stays ignored, and another's handler stays in place.
static void take_signal(int signal_number, void (*handler)(int), int flags)
{
    struct sigaction previous;
    if (sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL)
        return;
    struct sigaction action = {};
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);
    action.sa_flags = flags;
    (void)sigaction(signal_number, &action, nullptr);
}

static void catch_signals()
{
    for (const int signal_number : ending_signals)
        take_signal(signal_number, restore_terminal_and_end, SA_RESETHAND);
#if defined(SIGRTMIN)
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
        take_signal(signal_number, restore_terminal_and_end, SA_RESETHAND);
#endif
    // SA_RESTART: a stop while the program writes its lines must not fail the write.
    for (const int signal_number : stopping_signals)
        take_signal(signal_number, restore_terminal_and_stop, SA_RESTART);
    take_signal(SIGCONT, note_continue, SA_RESTART);
}

// Opens the controlling terminal on first use; false when there is none.
static bool open_keyboard()
{
    if (keyboard_gone)
        return false;
    if (terminal_fd >= 0)
        return true;
    terminal_fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal_fd >= FD_SETSIZE) { // beyond what select() can watch
        (void)close(terminal_fd);
        terminal_fd = -1;
    }
    if (terminal_fd < 0) {
        keyboard_gone = true;
        return false;
    }
    catch_signals();
    return true;
}

// In the background the terminal is not the program's to use, and its
// settings are those of the shell's line editor. As a read from the terminal
// would, this stops the program's process group until the shell brings it to
// the foreground. False when no stop can come (an orphaned process group,
// SIGTTIN ignored) or the terminal has hung up.
static bool wait_for_foreground()
{
    for (;;) {
        const pid_t foreground = tcgetpgrp(terminal_fd);
        if (foreground == getpgrp())
            return true;
        if (foreground < 0)
            return false;
        const sig_atomic_t continued_before = times_continued;
        if (kill(0, SIGTTIN) != 0 || times_continued == continued_before)
            return false;
    }
}

static bool enter_raw_input()
{
    if (!wait_for_foreground() ||
        (!settings_saved && tcgetattr(terminal_fd, &saved_settings) != 0)) {
        keyboard_gone = true;
        return false;
    }
    settings_saved = true;
    struct termios raw = saved_settings;
    // Every byte as it is typed, unechoed and unchanged: no line editing, no
    // signal keys (Ctrl+C, Ctrl+Z and Ctrl+\ are keys like any other), no
    // XON/XOFF, no CR-to-NL or other mapping of input, all eight bits.
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IXON | PARMRK);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    // Output processing is left alone: the program's lines keep their line ends.
    raw.c_cc[VMIN] = 1; // a read returns as soon as one byte is there
    raw.c_cc[VTIME] = 0;
    raw_input_lost = 0;
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

enum wait_result { input_ready, wait_over, wait_interrupted };

// Waits at most wait_ms, or as long as it takes when negative, for input,
// end of file or a hangup. select(), not poll(): on macOS and some BSDs
// poll() cannot wait on a terminal.
static wait_result wait_for_input(int wait_ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(terminal_fd, &readable);
    struct timeval timeout = {};
    timeout.tv_sec = wait_ms / 1000;
    timeout.tv_usec = static_cast<suseconds_t>(wait_ms % 1000) * 1000;
    const int ready =
        select(terminal_fd + 1, &readable, nullptr, nullptr, wait_ms < 0 ? nullptr : &timeout);
    if (ready == 0)
        return wait_over;
    if (ready < 0 && errno == EINTR)
        return wait_interrupted;
    return input_ready; // or an error, which the read then meets
}

// Reads one byte, waiting at most wait_ms, or as long as it takes when
// wait_ms is negative. Returns 1 with a byte, 0 when the wait ran out, and
// -1 when the keyboard is gone (end of file, hangup, any other error). After
// a stop the wait takes raw input again and goes on.
static int read_byte(int wait_ms, unsigned char *byte)
{
    for (;;) {
        const wait_result waited = wait_for_input(wait_ms);
        if (waited == wait_over)
            return 0;
        if (waited == wait_interrupted) {
            if (raw_input_lost && !enter_raw_input())
                return -1;
            continue;
        }
        const ssize_t count = read(terminal_fd, byte, 1);
        if (count == 1)
            return 1;
        if (count < 0 && errno == EINTR)
            continue;
        keyboard_gone = true;
        return -1;
    }
}

// Reads bytes one at a time, so that no byte of a later key press is taken
// from the terminal, until the decoder has a whole key press. Returns the
// bytes it takes, 0 when the keyboard went before a key came.
static size_t read_whole_key(key_codes *key)
{
    for (;;) {
        bool more_may_follow = unread_length < sizeof unread_bytes;
        if (more_may_follow) {
            const int wait_ms = unread_length == 0 ? -1 : sequence_wait_ms;
            if (read_byte(wait_ms, &unread_bytes[unread_length]) > 0)
                ++unread_length;
            else
                more_may_follow = false;
        }
        if (unread_length == 0)
            return 0;
        const size_t taken = decode_key(unread_bytes, unread_length, more_may_follow, key);
        if (taken > 0)
            return taken;
    }
}

// A sequence longer than unread_bytes is one key press all the same: the rest
// of it is read and dropped, so that none of its bytes reads as a key of its
// own. A byte that cannot belong to it is kept as the next key press.
static void drop_rest_of_sequence()
{
    unsigned char byte;
    while (read_byte(sequence_wait_ms, &byte) > 0) {
        const sequence_part part = part_of_cut_sequence(byte);
        if (part == not_of_sequence)
            unread_bytes[unread_length++] = byte;
        if (part != more_of_sequence)
            return;
    }
}

static void take_bytes(size_t taken)
{
    unread_length -= taken;
    memmove(unread_bytes, unread_bytes + taken, unread_length);
}

bool platform_key_waiting()
{
    if (unread_length > 0)
        return true;
    // Keys typed while the program is in the background are the shell's.
    if (!open_keyboard() || !in_foreground() || !enter_raw_input())
        return false;
    // Keys typed in line mode become readable once raw input is on. End of
    // file and a hangup count too: the read then finds the keyboard gone.
    wait_result waited;
    do
        waited = wait_for_input(0);
    while (waited == wait_interrupted);
    leave_raw_input();
    return waited == input_ready;
}

key_codes platform_read_key()
{
    key_codes key = {-1, -1};
    // A key press left over whole from the last call needs no terminal; one
    // whose rest can no longer come is taken as far as it goes.
    size_t taken =
        unread_length > 0 ? decode_key(unread_bytes, unread_length, !keyboard_gone, &key) : 0;
    if (taken > 0) {
        take_bytes(taken);
        return key;
    }
    if (!open_keyboard() || !enter_raw_input())
        return key;
    taken = read_whole_key(&key);
    if (taken > 0) {
        key_codes unused;
        const bool cut_short =
            taken == sizeof unread_bytes && decode_key(unread_bytes, taken, true, &unused) == 0;
        take_bytes(taken);
        if (cut_short)
            drop_rest_of_sequence();
    }
    leave_raw_input();
    return taken > 0 ? key : key_codes{-1, -1};
}
