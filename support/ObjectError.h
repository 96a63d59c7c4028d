// The one way the job processor raises a failure inside an operation: an error number with its
// description, caught at the end of the operation by its handler (see ReportCaughtError).
#pragma once
#include <exception>

#include "Text.h"

namespace MarrowjetUI {

// Base of the object error numbers; the log writes an object error as its number minus this.
inline constexpr LONG kObjectErrorBase = static_cast<LONG>(0x80040000);

// The job processor's own object errors.
inline constexpr LONG kErrorNoKeyHeld = static_cast<LONG>(0x80040201);
inline constexpr LONG kErrorValueNotString = static_cast<LONG>(0x80040202);
inline constexpr LONG kErrorCantReadValue = static_cast<LONG>(0x80040203);
inline constexpr LONG kErrorNoDriveQualifier = static_cast<LONG>(0x80040204);
inline constexpr LONG kErrorWritingFile = static_cast<LONG>(0x80040205);
inline constexpr LONG kErrorReprintLimit = static_cast<LONG>(0x80040206);

// Runtime error numbers for failures that are not the system's own.
inline constexpr LONG kErrorInvalidArgument = 5;   // "Invalid procedure call or argument"
inline constexpr LONG kErrorOverflow = 6;          // "Overflow"
inline constexpr LONG kErrorOutOfMemory = 7;       // "Out of memory"
inline constexpr LONG kErrorSubscriptRange = 9;    // "Subscript out of range"
inline constexpr LONG kErrorInternal = 51;         // "Internal error"
inline constexpr LONG kErrorObjectNotSet = 91;     // "Object variable or With block variable not set"

class ObjectError : public std::exception {
 public:
  ObjectError(LONG number, Text description) : number_(number), description_(std::move(description)) {}
  LONG Number() const { return number_; }
  const Text& Description() const { return description_; }
  const char* what() const noexcept override { return "object error"; }

 private:
  LONG number_;
  Text description_;
};

[[noreturn]] void RaiseError(LONG number, TextView description);

// Raises the platform's status code with the system's text for it.
[[noreturn]] void RaiseSystemError(LONG status);

// The number and description of the exception in flight, whatever its kind. Call only
// inside a catch block.
struct CaughtError {
  LONG number;
  Text description;
};
CaughtError DescribeCaughtError() noexcept;

}  // namespace MarrowjetUI
