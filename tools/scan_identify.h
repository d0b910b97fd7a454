#pragma once
// What kta-scan tells of each device besides its address: the adapter whose
// network holds it, and, where its output shows them, the hardware address
// from the system's neighbour table and that address's maker from the IEEE
// registry. Nothing is guessed: what the system does not know stays unknown.

#include <vector>

#include "tools/scan_device.h"

// The adapter of every device; with macs, its hardware address and maker
// too, from oui_files (none: the system's registry files). Says on stderr,
// once, when the registry cannot be read.
void scan_identify(std::vector<scan_device>* devices, bool macs,
                   const std::vector<const char*>& oui_files);
// The hint for a device that answered from outside every adapter's network.
void scan_hint_outside(const scan_device& d);
