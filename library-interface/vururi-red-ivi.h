/*
 * The contract of Vururi-Red-Ivi, the watchdog board's Ethernet interface
 * library: its seven operations and the data that crosses into them.
 *
 * Any library built for this contract can stand in for another without a
 * rebuild of the program, so the prototypes, the names (plain C linkage) and
 * the sizes below must not change.
 *
 * The open, discover and board operations return a status code: 0 is
 * success, anything else is the library's error code, and the values an
 * operation returns are valid only after a 0.
 */
#ifndef VURURI_RED_IVI_H
#define VURURI_RED_IVI_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(WD_E_BUILDING_LIBRARY)
#define WD_E_API __declspec(dllexport)
#else
#define WD_E_API __declspec(dllimport)
#endif
#else
#define WD_E_API __attribute__((visibility("default")))
#endif

/* The calling convention of the seven operations. Only 32-bit x86 Windows
 * has a choice: there a library may use stdcall, and the program must then
 * be built with WD_E_STDCALL defined (the CMake option WATCHDOG_STDCALL). */
#if defined(_WIN32) && !defined(_WIN64) && defined(WD_E_STDCALL)
#define WD_E_CALL __stdcall
#else
#define WD_E_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One board's address: IPv4 address first octet first, then its hardware
 * address. 192.168.1.60 is C0 A8 01 3C. */
typedef struct WD_E_DeviceAddress {
    uint8_t ip[4];
    uint8_t mac[6];
} WD_E_DeviceAddress;

/* Records in the table that WD_E_DiscoverAll fills. */
#define WD_E_DISCOVER_ALL_RECORDS 6

/* Bytes in each of the two buffers of WD_E_GetErrorInfoMsg. */
#define WD_E_ERROR_BUFFER_SIZE 192

#ifdef __cplusplus
static_assert(sizeof(WD_E_DeviceAddress) == 10, "a device address record is 10 bytes with no gaps");
#else
_Static_assert(sizeof(WD_E_DeviceAddress) == 10,
               "a device address record is 10 bytes with no gaps");
#endif

/* Writes the library's version: bits 16-31, 8-15 and 0-7 are its three fields. */
WD_E_API int32_t WD_E_CALL WD_E_GetDllVersion(uint32_t *version);

/* Opens the interface and writes its handle, valid until WD_E_Close.
 * The second argument is reserved: pass 0. */
WD_E_API int32_t WD_E_CALL WD_E_Open(uint32_t *handle, int32_t reserved);

/* Looks for every board on the network: table has room for capacity records
 * of 10 bytes each, count receives how many were found. */
WD_E_API int32_t WD_E_CALL WD_E_DiscoverAll(uint32_t handle, uint8_t *table, uint32_t capacity,
                                            uint32_t *count);

/* Looks for the board whose 4 address bytes ip points at; mac points at the
 * 6 hardware-address bytes of the same record. 0 means it was found. */
WD_E_API int32_t WD_E_CALL WD_E_Discover(uint32_t handle, uint8_t *ip, uint8_t *mac);

/* Reads the board's status bits, DIP switch, firmware version (major in bits
 * 8 and up, minor in bits 0-7), tickle count and diagnostic bits. */
WD_E_API int32_t WD_E_CALL WD_E_GetDeviceInfo(uint32_t handle, uint32_t *status, uint32_t *dip,
                                              uint32_t *firmware, uint32_t *tickle, uint32_t *diag);

/* Describes the library's most recent failure: a NUL-terminated text in text
 * and more in detail, each a buffer of WD_E_ERROR_BUFFER_SIZE bytes. */
WD_E_API int32_t WD_E_CALL WD_E_GetErrorInfoMsg(char *text, char *detail);

/* Closes the interface; the handle is not used again. */
WD_E_API int32_t WD_E_CALL WD_E_Close(uint32_t handle);

#ifdef __cplusplus
}
#endif

#endif
