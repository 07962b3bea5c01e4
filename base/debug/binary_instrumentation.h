#ifndef BASE_DEBUG_BINARY_INSTRUMENTATION_H_
#define BASE_DEBUG_BINARY_INSTRUMENTATION_H_

namespace base {
namespace debug {

#if defined(_WIN32)
// True when this module's image was rewritten by an instrumentation tool,
// which leaves ".thunks" and ".instr" sections behind. Computed once.
bool IsBinaryInstrumented();

namespace internal {
// Whether the mapped image at image_base has both of those sections.
bool ImageHasInstrumentationSections(const void* image_base);
}  // namespace internal
#endif

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_BINARY_INSTRUMENTATION_H_
