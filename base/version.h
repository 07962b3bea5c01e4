#ifndef BASE_VERSION_H_
#define BASE_VERSION_H_

#include <stdint.h>

#include <string>
#include <vector>

namespace base {

// A dotted numeric version such as "52.0.2743.116". Components are
// unsigned 32-bit numbers; missing trailing components count as 0, so
// "1.2" equals "1.2.0.0".
class Version {
 public:
  // An invalid version.
  Version() = default;
  // Parses |version|; on failure the version is invalid.
  explicit Version(const std::string& version);

  // True when the text parsed: at least one component.
  bool IsValid() const { return !components_.empty(); }

  // -1, 0 or 1 as this version is below, equal to or above |other|.
  int CompareTo(const Version& other) const;

  const std::vector<uint32_t>& components() const { return components_; }

 private:
  std::vector<uint32_t> components_;
};

// Splits |text| at every '.' and appends each component to |parsed|, also
// those before a failure. Every piece must be a complete unsigned decimal
// without sign or whitespace; the first one also without leading zeros.
bool ParseVersionNumbers(const std::string& text,
                         std::vector<uint32_t>* parsed);

// -1, 0 or 1; trailing zero components do not count.
int CompareVersionComponents(const std::vector<uint32_t>& a,
                             const std::vector<uint32_t>& b);

}  // namespace base

#endif  // BASE_VERSION_H_
