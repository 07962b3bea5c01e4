#ifndef BASE_DEBUG_ALIAS_H_
#define BASE_DEBUG_ALIAS_H_

namespace base {

// Does nothing, but is never inlined: a local whose address is passed here
// has to live in memory, so it shows up in the crash dump of a process that
// is about to end itself.
void DebugAlias(const void* var);

}  // namespace base

#endif  // BASE_DEBUG_ALIAS_H_
