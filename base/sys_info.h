#ifndef BASE_SYS_INFO_H_
#define BASE_SYS_INFO_H_

namespace base {

class SysInfo {
 public:
  SysInfo() = delete;

  // The number of logical processors of the machine.
  static int NumberOfProcessors();
};

}  // namespace base

#endif  // BASE_SYS_INFO_H_
