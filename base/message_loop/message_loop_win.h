#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_WIN_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_WIN_H_

#include <windows.h>

#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_win.h"

namespace base {

// A loop that serves the thread's Windows messages.
class MessageLoopForUI : public MessageLoop {
 public:
  MessageLoopForUI() : MessageLoop(TYPE_UI) {}

  // The calling thread's loop, which must be of type TYPE_UI.
  static MessageLoopForUI* current();
};

// A loop that serves an I/O completion port.
class MessageLoopForIO : public MessageLoop {
 public:
  using IOHandler = MessagePumpForIO::IOHandler;
  using IOContext = MessagePumpForIO::IOContext;

  MessageLoopForIO() : MessageLoop(TYPE_IO) {}

  // The calling thread's loop, which must be of type TYPE_IO.
  static MessageLoopForIO* current();

  void RegisterIOHandler(HANDLE file, IOHandler* handler);
  bool WaitForIOCompletion(DWORD timeout, IOHandler* filter);

 private:
  MessagePumpForIO* pump_io() const;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_WIN_H_
