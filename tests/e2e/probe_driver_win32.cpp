// Drives kta-probe.exe through its windows, as a person would: waits for the
// first listen window to list every simulated device, presses Refresh, waits
// for them to come back, closes the window, and checks the exit code. Run by
// probe_wine_e2e.sh.
//
//   probe_driver KTA-PROBE.EXE DEVICES

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) failures++;
}

std::vector<std::string> items(HWND list) {
  std::vector<std::string> out;
  LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; i++) {
    // Across processes the wide message is the one every platform marshals alike.
    wchar_t text[64] = {};
    if (SendMessageW(list, LB_GETTEXTLEN, i, 0) >= static_cast<LRESULT>(std::size(text))) continue;
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    std::string narrow;
    for (const wchar_t* c = text; *c; c++) narrow += *c < 128 ? static_cast<char>(*c) : '?';
    out.push_back(narrow);
  }
  return out;
}

// Waits up to ms for the list to hold at least n items; then, past the end
// of the listen window, true when it holds exactly n.
bool wait_for_items(HWND list, size_t n, DWORD ms) {
  for (DWORD waited = 0; waited < ms && items(list).size() < n; waited += 50) Sleep(50);
  Sleep(1000);
  return items(list).size() == n;
}

bool listed_in_order(const std::vector<std::string>& got) {
  for (size_t i = 0; i < got.size(); i++) {
    if (got[i].rfind("10.77.", 0) != 0 && got[i].rfind("10.78.0.", 0) != 0) return false;
    if (i > 0 && !(got[i - 1] < got[i])) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: probe_driver KTA-PROBE.EXE DEVICES\n");
    return 2;
  }
  size_t want = static_cast<size_t>(std::atoi(argv[2]));
  std::string command = std::string("\"") + argv[1] + "\" ignored arguments";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::printf("FAIL: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }

  HWND main_window = nullptr;
  // The window is shown only once its controls exist; a hidden one is still being made.
  for (int i = 0; i < 200; i++) {
    main_window = FindWindowA("XOLA", "Corvane KTA-310 Probe");
    if (main_window && IsWindowVisible(main_window)) break;
    Sleep(50);
  }
  check(main_window != nullptr, "the window appears");
  HWND list = main_window ? FindWindowExA(main_window, nullptr, "ListBox", nullptr) : nullptr;
  HWND button = main_window ? FindWindowExA(main_window, nullptr, "Button", "Refresh") : nullptr;
  check(list && button, "it holds a list box and a Refresh button");

  if (list && button) {
    // The probe went out at creation: one listen window (0.9 s) lists them all.
    check(wait_for_items(list, want, 1500), "the first listen window lists every device");
    std::vector<std::string> first = items(list);
    for (const auto& item : first) std::printf("  %s\n", item.c_str());
    check(listed_in_order(first), "each is a lab address, in text order, once");

    // What a click on Refresh sends to the window.
    PostMessageA(main_window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    Sleep(100);
    check(wait_for_items(list, want, 1500), "after Refresh every device is listed again");
    check(listed_in_order(items(list)), "again in text order, once each");
  }

  if (main_window) PostMessageA(main_window, WM_CLOSE, 0, 0);
  DWORD waited = WaitForSingleObject(pi.hProcess, 10000);
  check(waited == WAIT_OBJECT_0, "the process ends after the close");
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  check(code == 0, "exit code 0");
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("%d failed\n", failures);
  return failures ? 1 : 0;
}
