#ifndef BASE_MESSAGE_LOOP_SEH_GUARD_WIN_H_
#define BASE_MESSAGE_LOOP_SEH_GUARD_WIN_H_

// A structured exception frame for x86-64 mingw, which lacks __try. The
// guarded range gets a scope table of its own, so a file may hold several
// guards as long as each |tag| is unique in it.
//
//   SEH_GUARD_BEGIN(tag, filter)
//   result = CallThatMayRaise();   // not inlined
//   SEH_GUARD_END(tag)
//
// |filter| is an extern "C" function LONG filter(EXCEPTION_POINTERS*, void*).
// When it answers EXCEPTION_EXECUTE_HANDLER, execution continues after
// SEH_GUARD_END with the frame's registers as they were at the call, so a
// result must live in a volatile local set before the guard.
#define SEH_GUARD_BEGIN(tag, filter)                                      \
  __asm__ __volatile__(".Lseh_begin_" #tag ":\n"                          \
                       "\t.seh_handler __C_specific_handler, @except\n" \
                       "\t.seh_handlerdata\n"                             \
                       "\t.long 1\n"                                      \
                       "\t.rva .Lseh_begin_" #tag ", .Lseh_end_" #tag     \
                       ", " #filter ", .Lseh_end_" #tag "\n"             \
                       "\t.text\n" ::                                     \
                           : "memory");

#define SEH_GUARD_END(tag)                \
  __asm__ __volatile__("\tnop\n"          \
                       ".Lseh_end_" #tag  \
                       ": nop\n" ::       \
                           : "memory");

#endif  // BASE_MESSAGE_LOOP_SEH_GUARD_WIN_H_
