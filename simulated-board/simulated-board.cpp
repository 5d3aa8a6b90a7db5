// A stand-in for Vururi-Red-Ivi, the watchdog board's interface library, with
// the same contract. It simulates one healthy board at 192.168.1.60 in
// memory and sends no network traffic at all. At each WD_E_Open it says on
// standard error that the board is simulated, so that nobody takes its
// answers for a real board's.
//
// WD_SIMULATE in the environment, read at each WD_E_Open, makes it simulate
// a failure instead:
//   open-fails    the interface cannot be opened (code -3)
//   no-board      no board answers a discovery (code -4)
//   status-fails  the board does not answer the status read (code -6)

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vururi-red-ivi.h"

enum simulated_failure { no_failure, open_fails, no_board, status_fails };

enum error_code {
    error_not_open = -2,
    error_open_failed = -3,
    error_no_answer = -4,
    error_bad_argument = -5,
    error_status_read = -6,
};

static const struct {
    const char *name;
    simulated_failure failure;
} failure_names[] = {
    {"open-fails", open_fails},
    {"no-board", no_board},
    {"status-fails", status_fails},
};

// Version 01.04.00 of the library.
static const uint32_t library_version = 0x010400;
// What WD_E_Open hands out as the interface handle.
static const uint32_t simulated_handle = 0x57440001;
// The simulated board's address record: 192.168.1.60, a locally administered MAC.
static const WD_E_DeviceAddress board_address = {{192, 168, 1, 60},
                                                 {0x02, 0x57, 0x44, 0x01, 0x3C, 0x60}};

// True between a successful WD_E_Open and WD_E_Close.
static bool interface_open;
// The failure WD_SIMULATE asked for, read once at each WD_E_Open.
static simulated_failure simulation = no_failure;
// The text and detail of the most recent failure, for WD_E_GetErrorInfoMsg.
static char last_error_text[WD_E_ERROR_BUFFER_SIZE] = "No error";
static char last_error_detail[WD_E_ERROR_BUFFER_SIZE] = "";
// The board's tickle count, one more at every status read as if the host tickled it.
static uint32_t tickle_count = 1207;

static simulated_failure chosen_failure()
{
    const char *name = getenv("WD_SIMULATE");
    if (name == nullptr || name[0] == '\0')
        return no_failure;
    for (const auto &row : failure_names)
        if (strcmp(row.name, name) == 0)
            return row.failure;
    (void)fprintf(stderr,
                  "Vururi-Red-Ivi stand-in: WD_SIMULATE=%s is not one of open-fails, no-board, "
                  "status-fails; simulating a healthy board\n",
                  name);
    return no_failure;
}

static int32_t fail(int32_t code, const char *text, const char *detail)
{
    (void)snprintf(last_error_text, sizeof last_error_text, "%s", text);
    (void)snprintf(last_error_detail, sizeof last_error_detail, "%s (error %d)", detail, code);
    return code;
}

static int32_t check_handle(uint32_t handle)
{
    if (!interface_open || handle != simulated_handle)
        return fail(error_not_open, "The interface is not open", "bad handle");
    return 0;
}

extern "C" {

WD_E_API int32_t WD_E_CALL WD_E_GetDllVersion(uint32_t *version)
{
    if (version == nullptr)
        return fail(error_bad_argument, "No place for the version", "null pointer");
    *version = library_version;
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_Open(uint32_t *handle, int32_t)
{
    (void)fputs("Vururi-Red-Ivi stand-in: simulated board, no hardware is being tested\n", stderr);
    if (handle == nullptr)
        return fail(error_bad_argument, "No place for the handle", "null pointer");
    simulation = chosen_failure();
    if (simulation == open_fails)
        return fail(error_open_failed, "Cannot open the Ethernet interface (simulated)",
                    "WD_SIMULATE=open-fails");
    interface_open = true;
    *handle = simulated_handle;
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_DiscoverAll(uint32_t handle, uint8_t *table, uint32_t capacity,
                                            uint32_t *count)
{
    if (const int32_t code = check_handle(handle))
        return code;
    if (table == nullptr || count == nullptr)
        return fail(error_bad_argument, "No place for the boards found", "null pointer");
    if (simulation == no_board)
        return fail(error_no_answer, "No watchdog board answered the discovery (simulated)",
                    "WD_SIMULATE=no-board");
    *count = capacity > 0 ? 1 : 0;
    if (*count > 0)
        memcpy(table, &board_address, sizeof board_address);
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_Discover(uint32_t handle, uint8_t *ip, uint8_t *mac)
{
    if (const int32_t code = check_handle(handle))
        return code;
    if (ip == nullptr || mac == nullptr)
        return fail(error_bad_argument, "No address to discover", "null pointer");
    const bool is_board = memcmp(ip, board_address.ip, sizeof board_address.ip) == 0;
    if (!is_board || simulation == no_board) {
        char text[WD_E_ERROR_BUFFER_SIZE];
        (void)snprintf(text, sizeof text, "No watchdog board answered at %u.%u.%u.%u%s", ip[0],
                       ip[1], ip[2], ip[3], is_board ? " (simulated)" : "");
        return fail(error_no_answer, text, is_board ? "WD_SIMULATE=no-board" : "no such board");
    }
    memcpy(mac, board_address.mac, sizeof board_address.mac);
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_GetDeviceInfo(uint32_t handle, uint32_t *status, uint32_t *dip,
                                              uint32_t *firmware, uint32_t *tickle, uint32_t *diag)
{
    if (const int32_t code = check_handle(handle))
        return code;
    if (status == nullptr || dip == nullptr || firmware == nullptr || tickle == nullptr ||
        diag == nullptr)
        return fail(error_bad_argument, "No place for the board's values", "null pointer");
    if (simulation == status_fails)
        return fail(error_status_read, "The board did not answer the status read (simulated)",
                    "WD_SIMULATE=status-fails");
    *status = 0x0003; // armed and running
    *dip = 0x05;
    *firmware = 0x0207; // 02.07
    *tickle = ++tickle_count;
    *diag = 0x0000;
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_GetErrorInfoMsg(char *text, char *detail)
{
    if (text != nullptr)
        memcpy(text, last_error_text, sizeof last_error_text);
    if (detail != nullptr)
        memcpy(detail, last_error_detail, sizeof last_error_detail);
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_Close(uint32_t handle)
{
    if (const int32_t code = check_handle(handle))
        return code;
    interface_open = false;
    return 0;
}
}
