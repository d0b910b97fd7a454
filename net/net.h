#pragma once
// The start and stop of the sockets layer and the TCP connection manager,
// for the whole program: net_start once before any other networking call,
// net_stop once at the end, never from a connection callback.

#include <cstdint>

// 0; -1 when the sockets layer cannot be started (nothing else is started
// then); -2 when the manager's thread cannot start (a process at its thread
// limit): the manager is then finished at once and refuses attempts.
int32_t net_start();
// Finishes the manager, then cleans up the sockets layer; also after a failed
// net_start. After one whose manager's thread could not start it does not wait.
void net_stop();
// net_stop with the manager's prompt finish (tcp_cx_fin_prompt): as soon as its
// thread has ended, not in one-second steps.
void net_stop_prompt();
