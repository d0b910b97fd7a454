#include "tests/testing/fd_count.h"

#include <windows.h>
#include <winternl.h>

#include <cwchar>
#include <vector>

// Only handles of the kind "File" count: files, pipes and sockets, what a
// descriptor is on Linux. The C++ runtime makes events and semaphores for
// locks and condition variables lazily and keeps them, which is no leak.
// GetProcessHandleCount counts those too (and under Wine it is a stub that
// says 0), so the handles are listed through ntdll.

namespace {

// ntdll's extended handle list (information class 64): one entry per handle of the system.
struct handle_entry {
  void* object;
  ULONG_PTR pid;
  ULONG_PTR handle;
  ULONG access;
  USHORT creator_back_trace;
  USHORT type_index;
  ULONG attributes;
  ULONG reserved;
};
struct handle_list {
  ULONG_PTR count;
  ULONG_PTR reserved;
  handle_entry entries[1];
};
using query_system_fn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using query_object_fn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
constexpr ULONG extended_handle_information = 64;
constexpr ULONG object_type_information = 2;
constexpr LONG info_length_mismatch = static_cast<LONG>(0xC0000004);

template <typename fn>
fn ntdll_entry(const char* name) {
  FARPROC proc = GetProcAddress(GetModuleHandleA("ntdll.dll"), name);
  return reinterpret_cast<fn>(reinterpret_cast<void*>(proc));
}

bool is_file(query_object_fn query_object, HANDLE h) {
  // The type record starts with the type's name; the name's text follows in the buffer.
  alignas(8) unsigned char info[512];
  ULONG len = 0;
  if (query_object(h, object_type_information, info, sizeof info, &len) != 0) return false;
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(info);
  return name->Buffer && name->Length == 4 * sizeof(wchar_t) &&
         std::wcsncmp(name->Buffer, L"File", 4) == 0;
}

}  // namespace

int open_descriptor_count() {
  auto query_system = ntdll_entry<query_system_fn>("NtQuerySystemInformation");
  auto query_object = ntdll_entry<query_object_fn>("NtQueryObject");
  if (!query_system || !query_object) return -1;
  std::vector<unsigned char> buf(1 << 16);
  for (;;) {
    ULONG need = 0;
    LONG status = query_system(extended_handle_information, buf.data(),
                               static_cast<ULONG>(buf.size()), &need);
    if (status == 0) break;
    if (status != info_length_mismatch || buf.size() >= (1u << 28)) return -1;
    buf.resize(buf.size() * 2);
  }
  const auto* list = reinterpret_cast<const handle_list*>(buf.data());
  size_t room = (buf.size() - offsetof(handle_list, entries)) / sizeof(handle_entry);
  ULONG_PTR self = GetCurrentProcessId();
  int n = 0;
  for (ULONG_PTR i = 0; i < list->count && i < room; i++) {
    const handle_entry& e = list->entries[i];
    if (e.pid == self && is_file(query_object, reinterpret_cast<HANDLE>(e.handle))) n++;
  }
  return n;
}
