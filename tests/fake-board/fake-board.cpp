// A recording test double of the board library, built under the library's
// own file name so that it can take the stand-in's place at run time.
//
// Every call appends one line to the file named by FAKE_BOARD_LOG, with the
// arguments as the double received them. What it answers is scripted through
// the environment (numbers in C notation, 0x... or -5):
//   FAKE_VERSION        the version word, or "unset" to leave it unwritten
//   FAKE_OPEN           WD_E_Open's status; FAKE_HANDLE the handle it writes
//   FAKE_DISCOVER_ALL   WD_E_DiscoverAll's status
//   FAKE_DISCOVER       WD_E_Discover's status
//   FAKE_DEVICE_INFO    WD_E_GetDeviceInfo's status, with the values
//                       FAKE_STATUS, FAKE_DIP, FAKE_FIRMWARE, FAKE_TICKLE, FAKE_DIAG
//   FAKE_ERROR_TEXT     the text of WD_E_GetErrorInfoMsg, or "unterminated" to
//                       fill both buffers to the last byte with no NUL
//   FAKE_DELAY_MS       how long WD_E_Discover takes, to give keys time to arrive

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "vururi-red-ivi.h"

namespace {

long long scripted(const char *name, long long otherwise)
{
    const char *value = getenv(name);
    return value != nullptr && value[0] != '\0' ? strtoll(value, nullptr, 0) : otherwise;
}

const char *scripted_text(const char *name, const char *otherwise)
{
    const char *value = getenv(name);
    return value != nullptr ? value : otherwise;
}

__attribute__((format(printf, 1, 2))) void record(const char *format, ...)
{
    const char *path = getenv("FAKE_BOARD_LOG");
    if (path == nullptr)
        return;
    FILE *log = fopen(path, "a");
    if (log == nullptr)
        return;
    va_list arguments;
    va_start(arguments, format);
    vfprintf(log, format, arguments);
    va_end(arguments);
    fputc('\n', log);
    fclose(log);
}

std::string hex(const void *bytes, size_t length)
{
    std::string text;
    char digits[3];
    for (size_t i = 0; i < length; ++i) {
        snprintf(digits, sizeof digits, "%02X", static_cast<const unsigned char *>(bytes)[i]);
        text += digits;
    }
    return text;
}

bool all_zero(const char *bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// Whether an address lies in this thread's stack, near the caller's frame.
bool on_stack(const void *address)
{
    const char *frame = static_cast<const char *>(__builtin_frame_address(0));
    const char *at = static_cast<const char *>(address);
    return at >= frame && at < frame + (1 << 20);
}

} // namespace

extern "C" {

WD_E_API int32_t WD_E_CALL WD_E_GetDllVersion(uint32_t *version)
{
    record("WD_E_GetDllVersion");
    const char *value = getenv("FAKE_VERSION");
    if (value == nullptr || strcmp(value, "unset") != 0)
        *version = static_cast<uint32_t>(scripted("FAKE_VERSION", 0x010203));
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_Open(uint32_t *handle, int32_t reserved)
{
    record("WD_E_Open reserved=%d", reserved);
    const int32_t status = static_cast<int32_t>(scripted("FAKE_OPEN", 0));
    *handle = status == 0 ? static_cast<uint32_t>(scripted("FAKE_HANDLE", 0xC0FFEE42)) : 0xBAD0BAD0;
    return status;
}

WD_E_API int32_t WD_E_CALL WD_E_DiscoverAll(uint32_t handle, uint8_t *table, uint32_t capacity,
                                            uint32_t *count)
{
    record("WD_E_DiscoverAll handle=%08X capacity=%u table=%s", handle, capacity,
           hex(table, WD_E_DISCOVER_ALL_RECORDS * sizeof(WD_E_DeviceAddress)).c_str());
    // Written whatever the status, as a careless library might.
    memset(table, 0xAA, WD_E_DISCOVER_ALL_RECORDS * sizeof(WD_E_DeviceAddress));
    *count = 99;
    return static_cast<int32_t>(scripted("FAKE_DISCOVER_ALL", 0));
}

WD_E_API int32_t WD_E_CALL WD_E_Discover(uint32_t handle, uint8_t *ip, uint8_t *mac)
{
    record("WD_E_Discover handle=%08X ip=%s mac=%s mac_follows_ip=%d", handle, hex(ip, 4).c_str(),
           hex(mac, 6).c_str(), mac == ip + 4 ? 1 : 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(scripted("FAKE_DELAY_MS", 0)));
    memset(mac, 0xBB, 6);
    return static_cast<int32_t>(scripted("FAKE_DISCOVER", 0));
}

WD_E_API int32_t WD_E_CALL WD_E_GetDeviceInfo(uint32_t handle, uint32_t *status, uint32_t *dip,
                                              uint32_t *firmware, uint32_t *tickle, uint32_t *diag)
{
    record("WD_E_GetDeviceInfo handle=%08X values=%u,%u,%u,%u,%u", handle, *status, *dip, *firmware,
           *tickle, *diag);
    const int32_t result = static_cast<int32_t>(scripted("FAKE_DEVICE_INFO", 0));
    if (result != 0) {
        // Values a failed read might leave behind: they must not be printed.
        *status = *dip = *firmware = *tickle = *diag = 0xDEADBEEF;
        return result;
    }
    *status = static_cast<uint32_t>(scripted("FAKE_STATUS", 0x0003));
    *dip = static_cast<uint32_t>(scripted("FAKE_DIP", 0x05));
    *firmware = static_cast<uint32_t>(scripted("FAKE_FIRMWARE", 0x0207));
    *tickle = static_cast<uint32_t>(scripted("FAKE_TICKLE", 1207));
    *diag = static_cast<uint32_t>(scripted("FAKE_DIAG", 0));
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_GetErrorInfoMsg(char *text, char *detail)
{
    record("WD_E_GetErrorInfoMsg text_zero=%d detail_zero=%d distinct=%d on_stack=%d",
           all_zero(text, WD_E_ERROR_BUFFER_SIZE) ? 1 : 0,
           all_zero(detail, WD_E_ERROR_BUFFER_SIZE) ? 1 : 0, text != detail ? 1 : 0,
           on_stack(text) || on_stack(detail) ? 1 : 0);
    const char *scripted_message = scripted_text("FAKE_ERROR_TEXT", "fake board: no answer");
    if (strcmp(scripted_message, "unterminated") == 0) {
        memset(text, 'T', WD_E_ERROR_BUFFER_SIZE);
        memset(detail, 'D', WD_E_ERROR_BUFFER_SIZE);
    } else {
        snprintf(text, WD_E_ERROR_BUFFER_SIZE, "%s", scripted_message);
        snprintf(detail, WD_E_ERROR_BUFFER_SIZE, "fake detail");
    }
    return 0;
}

WD_E_API int32_t WD_E_CALL WD_E_Close(uint32_t handle)
{
    record("WD_E_Close handle=%08X", handle);
    return 0;
}
}
