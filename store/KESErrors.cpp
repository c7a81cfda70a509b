// File-error reporter and message formatting.
#include "store/KESErrors.h"

#include <cerrno>

namespace sk {

std::string FormatMessage(std::string_view message, std::string_view argument) {
  std::string text(message);
  if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

int FileErrorCode(int errno_value) {
  switch (errno_value) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrDriveFull;
    case EACCES:
    case EPERM:
    case EBUSY:
    case ETXTBSY:
    case EROFS:
    case EWOULDBLOCK:
      return kErrInUse;
    case EMFILE:
    case ENFILE:
      return kErrNoHandles;
    case ENOTDIR:
    case EIO:
    case ENXIO:
    case ENODEV:
      return kErrNotReady;
    case ENOENT:
      return kErrNotFound;
    default:
      return errno_value;
  }
}

void ReportFileError(int code, std::string_view custom_format, const std::string& file_name) {
  using namespace kes_msg;
  switch (code) {
    case kErrDriveFull: throw EKESFileError(std::string(kDriveFull));
    case kErrInUse: throw EKESFileError(FormatMessage(kInUse, file_name));
    case kErrNoHandles: throw EKESFileError(std::string(kNoHandles));
    case kErrNotReady: throw EKESFileError(std::string(kNotReady));
    case kErrNotFound: throw EKESFileError(FormatMessage(kNotFound, file_name));
    case kErrCustom: throw EKESFileError(FormatMessage(custom_format, file_name));
    default: throw EKESFileError(FormatMessage(kUnknown, std::to_string(code)));
  }
}

}  // namespace sk
