// The errors of the disk scanner and their fixed messages.
#pragma once

#include <stdexcept>
#include <string>

namespace sk {

// Format of the invalid-mask message: the mask, then the 1-based position of the offending
// character.
inline constexpr char kInvalidMaskMessage[] = "'%s' is an invalid mask at (%d)";

// A file-name mask that cannot be compiled.
class EMaskError : public std::runtime_error {
 public:
  EMaskError(const std::string& mask, int position);
  const std::string& Mask() const { return mask_; }
  int Position() const { return position_; }

 private:
  std::string mask_;
  int position_;
};

}  // namespace sk
