#pragma once

#include <string>

namespace platform {

// Port names as the program and its users write them ("COM3", "\\.\COM12") and the
// device paths they stand for. The COM ports of the virtual null-modem pairs are
// links "COMk" in the virtual COM folder, made by the pair tool lumetra-vcom.

// The virtual COM folder: $LUMETRA_VCOM_DIR, else $XDG_RUNTIME_DIR/lumetra-vcom, else
// /tmp/lumetra-vcom-<uid> (empty variables count as unset). A relative folder is taken
// from the current working folder. No trailing "/".
std::string VirtualComFolder();

// The device path for `name`:
// - "COMk" or "\\.\COMk" (any case, k from 1 to 255) is the link "COMk" in the virtual
//   COM folder;
// - a name that starts with "/" is a path already (a real port such as /dev/ttyUSB0);
// - anything else is returned unchanged, so opening it fails the normal way.
std::string ResolveComPortName(const std::string& name);

// The number k of a name "COMk" or "\\.\COMk", or 0 when `name` is not one.
int ComPortNumber(const std::string& name);

} // namespace platform
