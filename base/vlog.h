#ifndef BASE_VLOG_H_
#define BASE_VLOG_H_

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

// Verbose levels from the "v" and "vmodule" switches.
//   --v=2                      verbose levels up to 2 everywhere
//   --vmodule=foo=2,*/bar/*=3  level 2 in module foo (foo.cc, foo-inl.h),
//                              level 3 in every file under a bar folder
class VlogInfo {
 public:
  enum MatchTarget { MATCH_MODULE = 0, MATCH_FILE = 1 };

  struct VmodulePattern {
    std::string pattern;
    int vlog_level = 0;
    MatchTarget match_target = MATCH_MODULE;
  };

  // A parsable |v_switch| stores its negation in |*min_log_level|, which
  // must outlive this object.
  VlogInfo(const std::string& v_switch,
           const std::string& vmodule_switch,
           int* min_log_level);
  VlogInfo(const VlogInfo&) = delete;
  VlogInfo& operator=(const VlogInfo&) = delete;
  ~VlogInfo();

  // The verbose level in force for the source file |file|: the level of the
  // first pattern that matches, else the negated minimum log level.
  int GetVlogLevel(StringPiece file) const;

  const std::vector<VmodulePattern>& patterns() const { return patterns_; }

 private:
  std::vector<VmodulePattern> patterns_;
  int* min_log_level_;
};

}  // namespace base

#endif  // BASE_VLOG_H_
