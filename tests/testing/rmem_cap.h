#pragma once
// A receive-buffer limit for this process's sockets, as net.core.rmem_max
// sets one for a whole machine: later SO_RCVBUF requests above bytes are cut
// to it. 0 lifts it. POSIX only (rmem_cap_posix.cpp).

void rmem_cap(int bytes);
