// The store's exception hierarchy, its fixed messages and the file-error reporter.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace sk {

class EKESError : public std::runtime_error {
 public:
  explicit EKESError(const std::string& message) : std::runtime_error(message) {}
};
class EKESListError : public EKESError { using EKESError::EKESError; };
class EKESFileError : public EKESError { using EKESError::EKESError; };
class EKESIndexError : public EKESError { using EKESError::EKESError; };
class EKESInvalidPW : public EKESError { using EKESError::EKESError; };
class EKESNoCompress : public EKESError { using EKESError::EKESError; };
class EKESBadKey : public EKESError { using EKESError::EKESError; };
class EKESOutOfBounds : public EKESIndexError { using EKESIndexError::EKESIndexError; };
class EKESNoData : public EKESIndexError { using EKESIndexError::EKESIndexError; };
class EKESReadOnly : public EKESIndexError { using EKESIndexError::EKESIndexError; };
class EKESNoFile : public EKESIndexError { using EKESIndexError::EKESIndexError; };

// Every fixed message; "%s" stands for the store's file name unless noted.
namespace kes_msg {
inline constexpr std::string_view kNoFile =
    "Did you know that you haven't selected a file?... what am I supposed to do now?";
inline constexpr std::string_view kNoData = "File %s is empty... need input";
inline constexpr std::string_view kOutOfBounds = "The list index is out of bounds... yuk!!";
inline constexpr std::string_view kReadOnly = "%s is a read-only file";
inline constexpr std::string_view kInvalidFile = "The file %s is not a valid Velmora Database file";
inline constexpr std::string_view kMemoryFull = "Your memory is full... cannot load the index to %s";
inline constexpr std::string_view kDuplicateKey = "Only one person with that name is allowed";
inline constexpr std::string_view kNoTempFile =
    "Could not create a necessary temporary file...\r yeah.. even I need temporary files";
inline constexpr std::string_view kInvalidPassword =
    "ACCESS DENIED - Gimme a good password now please";
inline constexpr std::string_view kNoCompress = "Insufficient memory to compress or expand";
inline constexpr std::string_view kBadKey = "The key '%s' does not exist... bummer hey?";  // %s: key
inline constexpr std::string_view kDriveFull = "Oh man... you got a problem.. your drive is full";
inline constexpr std::string_view kInUse = "The file %s seems to be in use by another program";
inline constexpr std::string_view kNoHandles = "No more file handles are available";
inline constexpr std::string_view kNotReady = "The drive you are trying to access is not ready";
inline constexpr std::string_view kFolderNotStore = "%s is a folder, not a store file";
inline constexpr std::string_view kNotRegularFile =
    "%s is not a regular file (a device, FIFO or socket), so it cannot be a store";
inline constexpr std::string_view kNotFound = "Velmora was unable to locate file %s";
// %s: the failure code in decimal.
inline constexpr std::string_view kUnknown =
    "GOOOOOOOD question... I don't know the answer - %s - please report it to "
    "support@stillkeep.org";
}  // namespace kes_msg

// File-error codes: the classic disk-operating-system error numbers, negated.
enum : int {
  kErrDriveFull = -101,
  kErrInUse = -5,
  kErrNoHandles = -4,
  kErrNotReady = -3,
  kErrNotFound = -2,
  kErrCustom = -1,
};

// Replaces the first "%s" in message by argument.
std::string FormatMessage(std::string_view message, std::string_view argument);

// Maps an errno value from a failed open, create, read or write onto a file-error code.
int FileErrorCode(int errno_value);

// Raises EKESFileError with the message chosen by code (custom_format for kErrCustom), formatted
// with the file name (or, for unknown codes, with the code).
[[noreturn]] void ReportFileError(int code, std::string_view custom_format,
                                  const std::string& file_name);

}  // namespace sk
