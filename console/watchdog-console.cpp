// watchdog-console: a test of the watchdog board's Ethernet interface library.
//
// One fixed run: report the library's version, open the interface, discover
// all boards, look for the board at 192.168.1.60, print its status when it
// answers, close the interface and wait for a key so the text can be read.
// Exit status: 0 after a complete run, 1 when the interface cannot be opened,
// 2 when the report could not be written to standard output.

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "keyboard.h"
#include "vururi-red-ivi.h"

// The interface handle that WD_E_Open wrote, used by every call up to the close.
static uint32_t interface_handle;
// The library's text on its most recent failure, as WD_E_GetErrorInfoMsg leaves it.
static char error_text[WD_E_ERROR_BUFFER_SIZE];
// The library's detail on that failure; the library wants it, nobody reads it.
static char error_detail[WD_E_ERROR_BUFFER_SIZE];
// errno of the first write to standard output that failed, 0 while all succeeded.
static int output_error;

// The board that the directed discover looks for.
static const uint8_t board_ip[4] = {192, 168, 1, 60};

__attribute__((format(printf, 1, 2))) static void print(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    errno = 0; // so that a failure below is told by its own errno, not an older one
    const int written = vprintf(format, arguments);
    va_end(arguments);
    // Flushed at once, so the prompt without a line end shows during the wait
    // and nothing is left in a buffer however the program ends.
    if ((written < 0 || fflush(stdout) != 0) && output_error == 0)
        output_error = errno != 0 ? errno : EIO;
}

static void discover_all_check()
{
    WD_E_DeviceAddress table[WD_E_DISCOVER_ALL_RECORDS];
    uint32_t count; // written by the library, not read here
    memset(table, 0, sizeof table);
    if (WD_E_DiscoverAll(interface_handle, &table[0].ip[0], WD_E_DISCOVER_ALL_RECORDS, &count) == 0)
        print("Discover All Success.\n");
}

// True when the board at board_ip answered.
static bool directed_discover_check()
{
    WD_E_DeviceAddress record;
    memset(&record, 0, sizeof record);
    memcpy(record.ip, board_ip, sizeof record.ip);
    if (WD_E_Discover(interface_handle, record.ip, record.mac) == 0) {
        print("Discover IP Parameters Success.\n");
        return true;
    }
    print("**** ERROR **** Discover did not find a WDog!\n");
    WD_E_GetErrorInfoMsg(error_text, error_detail);
    // The library may fill the whole buffer without a terminator.
    print("%.*s\n", static_cast<int>(sizeof error_text), error_text);
    return false;
}

static void board_status_report()
{
    uint32_t status_bits = 0;
    uint32_t dip_switch = 0;
    uint32_t firmware_version = 0;
    uint32_t tickle_count = 0;
    uint32_t diagnostic_bits = 0;
    if (WD_E_GetDeviceInfo(interface_handle, &status_bits, &dip_switch, &firmware_version,
                           &tickle_count, &diagnostic_bits) != 0)
        return;
    print("\t-- STATUS  -- Board Status Bits = 0x%04X\n", status_bits);
    print("\t-- VERSION -- Firmware Version: %02X.%02X\n", firmware_version >> 8,
          firmware_version & 0xFFu);
    print("\t-- DIP SW  -- Current Dip Switch = 0x%02X\n", dip_switch);
    print("\t-- TICKLE  -- Tickle count = %d\n", static_cast<int32_t>(tickle_count));
    print("\t-- DIAG    -- Board Diagnostice Bits = 0x%04X\n", diagnostic_bits);
}

int main(int, char **)
{
    // Zero in case the library leaves it unwritten: never print an indeterminate value.
    uint32_t version = 0;
    WD_E_GetDllVersion(&version);
    print("DLL Version: %02X.%02X.%02X\n", version >> 16, (version >> 8) & 0xFFu, version & 0xFFu);

    int exit_status = 0;
    const int32_t open_status = WD_E_Open(&interface_handle, 0);
    if (open_status != 0) {
        print("** ERROR ** Open error = %d\n", open_status);
        exit_status = 1;
    } else {
        discover_all_check();
        if (directed_discover_check())
            board_status_report();
        WD_E_Close(interface_handle);

        // A prompt that nobody can see must not hold the program: with the
        // output lost, the error line below comes at once.
        if (output_error == 0) {
            // Keys pressed while the checks ran must not answer the prompt.
            while (key_available())
                read_key();
            print("\n\nPress Any Key to Exit");
        }
        if (output_error == 0)
            read_key();
    }

    if (output_error != 0) {
        // Nothing is left to tell if standard error fails too.
        (void)fprintf(stderr, "watchdog-console: cannot write standard output: %s\n",
                      strerror(output_error));
        exit_status = 2;
    }
    return exit_status;
}
