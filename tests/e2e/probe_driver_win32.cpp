// Drives kta-probe.exe through its windows, as a person would: waits for the
// first listen window to list every simulated device, presses Refresh, waits
// for them to come back, closes the window, and checks the exit code. With
// --port-held it first holds UDP port 10000 itself, as another program would,
// and works the message box that the window shows over itself. Run by
// probe_wine_e2e.sh.
//
//   probe_driver KTA-PROBE.EXE DEVICES [--port-held]

#include <windows.h>
#include <winsock2.h>

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

void press_refresh(HWND main_window, HWND button) {
  // What a click on Refresh sends to the window.
  PostMessageA(main_window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

// The system's message box over the window, once it shows, or null.
HWND wait_for_box(DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    HWND box = FindWindowA("#32770", "Corvane KTA-310 Probe");
    if (box && IsWindowVisible(box)) return box;
    Sleep(50);
  }
  return nullptr;
}

bool gone(HWND box, DWORD ms) {
  for (DWORD waited = 0; waited < ms && IsWindow(box); waited += 50) Sleep(50);
  return !IsWindow(box);
}

// The text of the box, the words of its static controls run together.
std::string box_text(HWND box) {
  std::string all;
  for (HWND c = FindWindowExA(box, nullptr, "Static", nullptr); c;
       c = FindWindowExA(box, c, "Static", nullptr)) {
    char text[512] = {};
    GetWindowTextA(c, text, static_cast<int>(std::size(text)));
    all += text;
  }
  return all;
}

void click_ok(HWND box) {
  if (HWND ok = FindWindowExA(box, nullptr, "Button", "OK"))
    PostMessageA(ok, BM_CLICK, 0, 0);
  else
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

// Port 10000 held, as by another program: the box says so, comes back on a
// Refresh while the port is held, and once it is free a Refresh probes.
void work_the_busy_port(HWND main_window, HWND list, HWND button, SOCKET holder, size_t want) {
  HWND box = wait_for_box(5000);
  check(box != nullptr, "a message box titled as the window shows over it");
  if (!box) return;
  check(box_text(box).find("UDP port 10000 is in use by another program") != std::string::npos,
        "it says that UDP port 10000 is in use by another program");
  check(!IsWindowEnabled(main_window), "the window is disabled under it");
  Sleep(1000);
  check(items(list).empty(), "nothing is listed");
  click_ok(box);
  check(gone(box, 3000), "its OK button ends it");
  press_refresh(main_window, button);
  box = wait_for_box(3000);
  check(box != nullptr, "a Refresh while the port is held shows it again");
  closesocket(holder);
  if (box) {
    click_ok(box);
    check(gone(box, 3000), "OK ends it again");
  }
  press_refresh(main_window, button);
  check(wait_for_items(list, want, 1500), "once the port is free, a Refresh lists every device");
}

}  // namespace

int main(int argc, char** argv) {
  bool port_held = argc == 4 && std::string(argv[3]) == "--port-held";
  if (argc != 3 && !port_held) {
    std::fprintf(stderr, "usage: probe_driver KTA-PROBE.EXE DEVICES [--port-held]\n");
    return 2;
  }
  size_t want = static_cast<size_t>(std::atoi(argv[2]));
  SOCKET holder = INVALID_SOCKET;
  if (port_held) {
    WSADATA wsa;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(10000);
    holder =
        WSAStartup(MAKEWORD(2, 2), &wsa) == 0 ? socket(AF_INET, SOCK_DGRAM, 0) : INVALID_SOCKET;
    if (holder == INVALID_SOCKET ||
        bind(holder, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      std::printf("FAIL: cannot hold UDP port 10000 (error %d)\n", WSAGetLastError());
      return 1;
    }
  }
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

  if (list && button && port_held) {
    work_the_busy_port(main_window, list, button, holder, want);
  } else if (list && button) {
    // The probe went out at creation: one listen window (0.9 s) lists them all.
    check(wait_for_items(list, want, 1500), "the first listen window lists every device");
    std::vector<std::string> first = items(list);
    for (const auto& item : first) std::printf("  %s\n", item.c_str());
    check(listed_in_order(first), "each is a lab address, in text order, once");

    press_refresh(main_window, button);
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
