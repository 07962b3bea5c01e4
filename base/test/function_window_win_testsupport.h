#ifndef BASE_TEST_FUNCTION_WINDOW_WIN_TESTSUPPORT_H_
#define BASE_TEST_FUNCTION_WINDOW_WIN_TESTSUPPORT_H_

#include <windows.h>

#include <functional>

namespace base {

// A message-only window of the creating thread whose procedure runs the
// function a WM_APP message points to: code run there is in no task, as a
// dialog's is.
class FunctionWindow {
 public:
  FunctionWindow() {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &Proc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TestFunctionWindow";
    atom_ = ::RegisterClassExW(&window_class);
    hwnd_ = ::CreateWindowExW(0, MAKEINTATOM(atom_), nullptr, 0, 0, 0, 0, 0,
                              HWND_MESSAGE, nullptr, window_class.hInstance,
                              nullptr);
  }
  ~FunctionWindow() {
    ::DestroyWindow(hwnd_);
    ::UnregisterClassW(MAKEINTATOM(atom_), ::GetModuleHandleW(nullptr));
  }
  FunctionWindow(const FunctionWindow&) = delete;
  FunctionWindow& operator=(const FunctionWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  // |function| must outlive the message.
  void Post(std::function<void()>* function) const {
    ::PostMessageW(hwnd_, WM_APP, 0, reinterpret_cast<LPARAM>(function));
  }
  void Send(std::function<void()>* function) const {
    ::SendMessageW(hwnd_, WM_APP, 0, reinterpret_cast<LPARAM>(function));
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_APP) {
      (*reinterpret_cast<std::function<void()>*>(l))();
      return 0;
    }
    return ::DefWindowProcW(hwnd, msg, w, l);
  }

  ATOM atom_ = 0;
  HWND hwnd_ = nullptr;
};

}  // namespace base

#endif  // BASE_TEST_FUNCTION_WINDOW_WIN_TESTSUPPORT_H_
