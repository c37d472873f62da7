#include "platform/LastError.h"

#include <cerrno>

namespace fk {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() noexcept { return t_lastError; }

void SetLastError(DWORD code) noexcept { t_lastError = code; }

DWORD ErrorFromErrno(int err, TErrnoUse use) noexcept
{
    if (use == TErrnoUse::Open && err == EISDIR)
        return ERROR_BAD_FILE_TYPE;
    if (use == TErrnoUse::Listen && err == EADDRINUSE)
        return ERROR_ACCESS_DENIED;
    if (use == TErrnoUse::InstanceLock && err == EWOULDBLOCK)
        return ERROR_ALREADY_EXISTS;
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_PORT_PERMISSION;
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
    case ENOBUFS:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
    case ERANGE:
    case ENOTTY:
        return ERROR_INVALID_PARAMETER;
    case ETIMEDOUT:
        return ERROR_SEM_TIMEOUT;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ECANCELED:
    case EINTR:
        return ERROR_OPERATION_ABORTED;
    case EINPROGRESS:
        return ERROR_IO_PENDING;
    case EIO:
    case EPIPE:
    case ESHUTDOWN:
    case ECONNRESET:
        return ERROR_DEVICE_NOT_CONNECTED;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return ERROR_OPEN_FAILED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

DWORD SetLastErrorFromErrno(int err, TErrnoUse use) noexcept
{
    const DWORD code = ErrorFromErrno(err, use);
    SetLastError(code);
    return code;
}

std::string ErrorText(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS: return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND: return "The device or file was not found.";
    case ERROR_PATH_NOT_FOUND: return "The path was not found.";
    case ERROR_ACCESS_DENIED: return "The device is in use by another program.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory.";
    case ERROR_OUTOFMEMORY: return "The data are not valid or not enough memory.";
    case ERROR_NOT_READY: return "The device is not ready.";
    case ERROR_CRC: return "The data failed their check.";
    case ERROR_GEN_FAILURE: return "The device failed.";
    case ERROR_INVALID_PARAMETER: return "A parameter is invalid.";
    case ERROR_OPEN_FAILED: return "The connection could not be opened.";
    case ERROR_SEM_TIMEOUT: return "The operation timed out.";
    case ERROR_ALREADY_EXISTS: return "It already exists.";
    case ERROR_BAD_FILE_TYPE: return "The file is not a serial device.";
    case ERROR_OPERATION_ABORTED: return "The operation was aborted.";
    case ERROR_IO_INCOMPLETE: return "The transfer is not complete.";
    case ERROR_IO_PENDING: return "The transfer is in progress.";
    case ERROR_DEVICE_NOT_CONNECTED: return "The device is no longer connected.";
    case ERROR_TIMEOUT: return "The peer went silent.";
    case ERROR_FUNCTION_FAILED: return "The command was not delivered.";
    case ERROR_FIRMWARE_MISMATCH: return "The firmware is made for another device.";
    case ERROR_PORT_PERMISSION:
        return "Permission denied: add the user to the group that owns the device "
               "(usually \"dialout\") and log in again.";
    case ERROR_PORT_STALE_LOCK:
        return "A stale lock file of another user blocks the port.";
    default: return "Error " + std::to_string(code) + ".";
    }
}

} // namespace fk
