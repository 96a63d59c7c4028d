#include "MessageTable.h"

#include <olectl.h>
#include <winerror.h>

#include <unordered_map>

namespace qv {
namespace {

const std::unordered_map<DWORD, const char*>& Table() {
  static const std::unordered_map<DWORD, const char*> table = {
      {ERROR_SUCCESS, "The operation completed successfully."},
      {ERROR_INVALID_FUNCTION, "The function is not valid here."},
      {ERROR_FILE_NOT_FOUND, "The file could not be found."},
      {ERROR_PATH_NOT_FOUND, "The path could not be found."},
      {ERROR_TOO_MANY_OPEN_FILES, "Too many files are open."},
      {ERROR_ACCESS_DENIED, "Access was denied."},
      {ERROR_INVALID_HANDLE, "The handle is not valid."},
      {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory for this operation."},
      {ERROR_BAD_FORMAT, "The program has a format that cannot be loaded."},
      {ERROR_INVALID_ACCESS, "The access code is not valid."},
      {ERROR_INVALID_DATA, "The data is not valid."},
      {ERROR_OUTOFMEMORY, "There is not enough storage to finish this operation."},
      {ERROR_INVALID_DRIVE, "The drive could not be found."},
      {ERROR_NO_MORE_FILES, "There are no more files."},
      {ERROR_NOT_READY, "The device is not ready."},
      {ERROR_WRITE_FAULT, "The device could not be written to."},
      {ERROR_READ_FAULT, "The device could not be read from."},
      {ERROR_GEN_FAILURE, "A device attached to the system is not working."},
      {ERROR_SHARING_VIOLATION, "The file is in use by another process."},
      {ERROR_LOCK_VIOLATION, "Part of the file is locked by another process."},
      {ERROR_HANDLE_EOF, "The end of the file was reached."},
      {ERROR_HANDLE_DISK_FULL, "The disk is full."},
      {ERROR_NOT_SUPPORTED, "The request is not supported."},
      {ERROR_PRINTQ_FULL, "The printer queue is full."},
      {ERROR_PRINT_CANCELLED, "The print job was cancelled."},
      {ERROR_FILE_EXISTS, "The file already exists."},
      {ERROR_CANNOT_MAKE, "The folder or file could not be created."},
      {ERROR_INVALID_PARAMETER, "A parameter is not valid."},
      {ERROR_BROKEN_PIPE, "The pipe has been closed."},
      {ERROR_OPEN_FAILED, "The file or device could not be opened."},
      {ERROR_BUFFER_OVERFLOW, "The file name is too long."},
      {ERROR_DISK_FULL, "There is not enough space on the disk."},
      {ERROR_CALL_NOT_IMPLEMENTED, "This function is not available on this system."},
      {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
      {ERROR_INVALID_NAME, "The file name, folder name or volume label syntax is not valid."},
      {ERROR_INVALID_LEVEL, "The system call level is not valid."},
      {ERROR_MOD_NOT_FOUND, "The library could not be found."},
      {ERROR_PROC_NOT_FOUND, "The function could not be found in the library."},
      {ERROR_DIR_NOT_EMPTY, "The folder is not empty."},
      {ERROR_BAD_PATHNAME, "The path is not valid."},
      {ERROR_BUSY, "The resource is in use."},
      {ERROR_ALREADY_EXISTS, "The file cannot be created because it already exists."},
      {ERROR_FILENAME_EXCED_RANGE, "The file name or extension is too long."},
      {ERROR_MORE_DATA, "More data is available."},
      {ERROR_NO_MORE_ITEMS, "There are no more items."},
      {ERROR_DIRECTORY, "The folder name is not valid."},
      {ERROR_ARITHMETIC_OVERFLOW, "The result is too large for its type."},
      {ERROR_INVALID_FLAGS, "The flags are not valid."},
      {ERROR_FILE_INVALID, "The file no longer exists or was changed."},
      {ERROR_BADDB, "The registry store is damaged."},
      {ERROR_BADKEY, "The registry key is not valid."},
      {ERROR_CANTOPEN, "The registry key could not be opened."},
      {ERROR_CANTREAD, "The registry key could not be read."},
      {ERROR_CANTWRITE, "The registry key could not be written."},
      {ERROR_REGISTRY_CORRUPT, "The registry store is corrupt."},
      {ERROR_REGISTRY_IO_FAILED, "The registry store could not be read or written."},
      {ERROR_KEY_DELETED, "The registry key has been deleted and cannot be changed."},
      {ERROR_NO_UNICODE_TRANSLATION, "The text has characters that cannot be converted."},
      {ERROR_NOT_FOUND, "The element could not be found."},
      {ERROR_CANCELLED, "The operation was cancelled by the user."},
      {ERROR_INVALID_WINDOW_HANDLE, "The window handle is not valid."},
      {ERROR_TIMEOUT, "The operation timed out."},
      {ERROR_UNKNOWN_PORT, "The port is not known."},
      {ERROR_UNKNOWN_PRINTER_DRIVER, "The printer driver is not known."},
      {ERROR_UNKNOWN_PRINTPROCESSOR, "The print processor is not known."},
      {ERROR_INVALID_PRINTER_NAME, "The printer name is not valid."},
      {ERROR_PRINTER_ALREADY_EXISTS, "The printer already exists."},
      {ERROR_INVALID_PRINTER_COMMAND, "The printer command is not valid."},
      {ERROR_INVALID_DATATYPE, "The data type is not valid."},
      {ERROR_INVALID_ENVIRONMENT, "The environment is not valid."},
      {ERROR_INVALID_PRINTER_STATE, "The printer is in a state that does not allow this."},
      {ERROR_UNKNOWN_PRINT_MONITOR, "The print monitor is not known."},
      {ERROR_SPOOL_FILE_NOT_FOUND, "The spool file could not be found."},
      {ERROR_SPL_NO_STARTDOC, "No document was started on the printer."},
      {ERROR_SPL_NO_ADDJOB, "No job was added to the printer."},
      {ERROR_PRINT_MONITOR_ALREADY_INSTALLED, "The print monitor is already installed."},
      {ERROR_INVALID_PRINT_MONITOR, "The print monitor is not valid."},
      {ERROR_PRINT_MONITOR_IN_USE, "The print monitor is in use."},
      {ERROR_PRINTER_HAS_JOBS_QUEUED, "The printer still has jobs in its queue."},
      {ERROR_PRINTER_NOT_FOUND, "The printer could not be found."},
      {static_cast<DWORD>(E_NOTIMPL), "The function is not implemented."},
      {static_cast<DWORD>(E_NOINTERFACE), "The interface is not supported."},
      {static_cast<DWORD>(E_POINTER), "A pointer is not valid."},
      {static_cast<DWORD>(E_ABORT), "The operation was aborted."},
      {static_cast<DWORD>(E_FAIL), "An unspecified error occurred."},
      {static_cast<DWORD>(E_UNEXPECTED), "An unexpected failure occurred."},
      {static_cast<DWORD>(RPC_E_CHANGED_MODE), "The apartment of this thread cannot be changed."},
      {static_cast<DWORD>(DISP_E_MEMBERNOTFOUND), "The member could not be found."},
      {static_cast<DWORD>(DISP_E_UNKNOWNNAME), "The name is not known."},
      {static_cast<DWORD>(TYPE_E_REGISTRYACCESS), "The type library registration could not be accessed."},
      {static_cast<DWORD>(TYPE_E_LIBNOTREGISTERED), "The type library is not registered."},
      {static_cast<DWORD>(TYPE_E_CANTLOADLIBRARY), "The type library could not be loaded."},
      {static_cast<DWORD>(CLASS_E_NOAGGREGATION), "The class cannot be aggregated."},
      {static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE), "The class factory cannot supply the class."},
      {static_cast<DWORD>(REGDB_E_READREGDB), "The class registration could not be read."},
      {static_cast<DWORD>(REGDB_E_WRITEREGDB), "The class registration could not be written."},
      {static_cast<DWORD>(REGDB_E_CLASSNOTREG), "The class is not registered."},
      {static_cast<DWORD>(SELFREG_E_TYPELIB), "The server could not register its type library."},
      {static_cast<DWORD>(SELFREG_E_CLASS), "The server could not register its classes."},
      {static_cast<DWORD>(CO_E_NOTINITIALIZED), "The component runtime was not initialised on this thread."},
      {static_cast<DWORD>(CO_E_CLASSSTRING), "The class string is not valid."},
      {static_cast<DWORD>(CO_E_APPNOTFOUND), "The application could not be found."},
      {static_cast<DWORD>(CO_E_DLLNOTFOUND), "The server library could not be found."},
      {static_cast<DWORD>(CO_E_ERRORINDLL), "The server library has an error in it."},
  };
  return table;
}

}  // namespace

const char* SystemMessageText(DWORD code) {
  const auto& table = Table();
  if (auto it = table.find(code); it != table.end()) return it->second;
  // A Win32 code wrapped in an HRESULT reads as the code itself.
  if ((code & 0xFFFF0000u) == 0x80070000u) {
    if (auto it = table.find(code & 0xFFFFu); it != table.end()) return it->second;
  }
  return nullptr;
}

}  // namespace qv
