// ShellExecuteA: start a program that exists here, or open the URL in the
// parameters with the desktop's browser. Never through a shell.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/winapi.h"

extern char** environ;

namespace {

constexpr uintptr_t se_ok = 42;  // above 32 means success
constexpr uintptr_t se_err_fnf = 2;
constexpr uintptr_t se_err_noassoc = 31;

HINSTANCE result(uintptr_t v) { return reinterpret_cast<HINSTANCE>(v); }

// Splits a Windows-style parameter text: blanks separate, quotes group.
std::vector<std::string> split_params(const char* p) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, any = false;
  for (; p && *p; p++) {
    if (*p == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && std::isspace(static_cast<unsigned char>(*p))) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += *p;
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

// A URL the browser may be handed: a scheme of letters, then "://". Anything
// else (an option-like "-x", a bare word) is not passed on.
bool is_url(const std::string& s) {
  size_t colon = s.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  for (size_t i = 0; i < colon; i++)
    if (!std::isalpha(static_cast<unsigned char>(s[i])) && s[i] != '+' && s[i] != '-' &&
        s[i] != '.')
      return false;
  return std::isalpha(static_cast<unsigned char>(s[0])) != 0;
}

bool program_exists(const char* file) {
  if (!file || !*file) return false;
  if (strchr(file, '/')) return access(file, X_OK) == 0;
  const char* path = getenv("PATH");
  if (!path || strchr(file, '\\')) return false;
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string cand = dirs.substr(start, end - start) + "/" + file;
    if (end > start && access(cand.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Starts argv[0] without waiting; a detached thread reaps it. False when it
// could not start: posix_spawnp reports a failed exec as well as a failed fork.
bool spawn(const std::vector<std::string>& args, const char* dir) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (dir && *dir) posix_spawn_file_actions_addchdir_np(&fa, dir);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return false;
  std::thread([pid] {
    int status;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

// Splits a command into words as a shell would, without running one: blanks
// separate, quotes group, a backslash takes the next character as it is.
// False for an unfinished quote, which no shell would run either.
bool split_words(const std::string& cmd, std::vector<std::string>* words) {
  std::string cur;
  bool any = false;
  char quote = 0;
  for (size_t i = 0; i < cmd.size(); i++) {
    char c = cmd[i];
    if (quote == '\'') {
      if (c == '\'')
        quote = 0;
      else
        cur += c;
    } else if (quote == '"') {
      if (c == '"') {
        quote = 0;
      } else if (c == '\\' && i + 1 < cmd.size() && strchr("\"\\$`", cmd[i + 1])) {
        cur += cmd[++i];
      } else {
        cur += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      any = true;
    } else if (c == '\\') {
      if (i + 1 < cmd.size()) cur += cmd[++i];
      any = true;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      if (any) words->push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (quote) return false;
  if (any) words->push_back(cur);
  return true;
}

// One $BROWSER entry as a command: %s stands for the URL and %% for "%"; an
// entry without %s gets the URL as its last word.
std::vector<std::string> browser_command(const std::string& entry, const std::string& url) {
  std::vector<std::string> words;
  if (!split_words(entry, &words)) return {};
  bool placed = false;
  for (std::string& w : words) {
    std::string out;
    for (size_t i = 0; i < w.size(); i++) {
      if (w[i] == '%' && i + 1 < w.size() && (w[i + 1] == 's' || w[i + 1] == '%')) {
        placed = placed || w[i + 1] == 's';
        out += w[i + 1] == 's' ? url : "%";
        i++;
      } else {
        out += w[i];
      }
    }
    w = out;
  }
  if (!words.empty() && !placed) words.push_back(url);
  return words;
}

// The desktop's browsers in the order of the BROWSER convention, each tried
// until one starts: $BROWSER's entries, then the desktop's and Debian's openers.
HINSTANCE open_url(const std::string& url) {
  std::vector<std::vector<std::string>> tries;
  if (const char* browser = getenv("BROWSER")) {
    std::string list = browser;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = std::min(list.find(':', start), list.size());
      std::vector<std::string> cmd = browser_command(list.substr(start, end - start), url);
      if (!cmd.empty()) tries.push_back(cmd);
      start = end + 1;
    }
  }
  for (const char* opener : {"xdg-open", "sensible-browser", "x-www-browser"})
    tries.push_back({opener, url});
  for (const std::vector<std::string>& cmd : tries)
    if (spawn(cmd, nullptr)) return result(se_ok);
  return result(se_err_noassoc);
}

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR file, LPCSTR parameters, LPCSTR directory, int) {
  if (!file) return result(se_err_fnf);
  if (program_exists(file)) {
    std::vector<std::string> args{file};
    for (std::string& a : split_params(parameters)) args.push_back(a);
    return result(spawn(args, directory) ? se_ok : se_err_fnf);
  }
  if (is_url(file)) return open_url(file);
  for (const std::string& a : split_params(parameters))
    if (is_url(a)) return open_url(a);
  return result(se_err_fnf);
}
