#pragma once
// The calling thread's last error, in the Windows error numbers that the components use
// as their error vocabulary. Operations below the application never throw: they return a
// boolean or a count and leave one of these numbers behind (0 on success).
#include <cstdint>
#include <string>

namespace fk {

using DWORD = std::uint32_t;

enum : DWORD {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_OUTOFMEMORY = 14,
    ERROR_INVALID_DATA = 13,
    ERROR_NOT_READY = 21,
    ERROR_CRC = 23,
    ERROR_GEN_FAILURE = 31,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_OPEN_FAILED = 110,
    ERROR_SEM_TIMEOUT = 121,
    ERROR_ALREADY_EXISTS = 183,
    ERROR_BAD_FILE_TYPE = 222,
    ERROR_OPERATION_ABORTED = 995,
    ERROR_IO_INCOMPLETE = 996,
    ERROR_IO_PENDING = 997,
    ERROR_DEVICE_NOT_CONNECTED = 1167,
    ERROR_TIMEOUT = 1460,
    ERROR_RESOURCE_TYPE_NOT_FOUND = 1813,
    ERROR_FUNCTION_FAILED = 1627,
    // A firmware image made for another device (its identifier differs from the device's).
    ERROR_FIRMWARE_MISMATCH = 2023,

    // Application codes carry bit 29, as the platform reserves it for applications.
    APPLICATION_ERROR_BIT = 0x20000000,
    // The device exists but the user may not open it (on Linux: not in the group that owns
    // serial devices, usually "dialout"). Kept apart from ERROR_ACCESS_DENIED, which means
    // "in use by another program", so the user is told what to do instead of "Port already in use".
    ERROR_PORT_PERMISSION = APPLICATION_ERROR_BIT | 0x100,
    // The port's LCK.. lock file was left by a program that has ended, and this user may not
    // remove it (another user's file in the shared lock folder). Kept apart from
    // ERROR_ACCESS_DENIED: no program uses the port, and waiting does not help.
    ERROR_PORT_STALE_LOCK = APPLICATION_ERROR_BIT | 0x101,
};

DWORD GetLastError() noexcept;
void SetLastError(DWORD code) noexcept;

// What a failed call was doing, where an errno value means something of its own there.
// Every other value maps as under Any.
enum class TErrnoUse {
    Any,
    // Opening a device or file of a given kind: EISDIR is ERROR_BAD_FILE_TYPE (a folder
    // where the device or file belongs).
    Open,
    // Binding a listening socket: EADDRINUSE is ERROR_ACCESS_DENIED (the port is in use).
    Listen,
    // Taking the lock that keeps a program to one instance: EWOULDBLOCK is
    // ERROR_ALREADY_EXISTS (another instance holds it).
    InstanceLock,
};

// Maps a C library errno value to the error vocabulary above; the one place that does.
DWORD ErrorFromErrno(int err, TErrnoUse use = TErrnoUse::Any) noexcept;

// Stores ErrorFromErrno(err, use) as the last error and returns it.
DWORD SetLastErrorFromErrno(int err, TErrnoUse use = TErrnoUse::Any) noexcept;

// A short English description of a code, for logs and diagnostics.
std::string ErrorText(DWORD code);

} // namespace fk
