#pragma once

namespace dova::sim::usbip {

// Whether the command line asks for the USB/IP transport.
bool WantsUsbip(int argc, char** argv);
// dova300-sim --usbip: serves simulated incubators as CP210x bridges on the kernel's
// virtual USB host controller until interrupted. Parses its own options.
int RunUsbipSimulator(int argc, char** argv);

}  // namespace dova::sim::usbip
