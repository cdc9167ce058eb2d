#pragma once

#include <QString>

#include <cstddef>
#include <set>
#include <string>
#include <vector>

// The loopback addresses the port-forward tunnels listen on beside the default one,
// one per device serial, kept in a small file of the installation (written at once,
// the owner's alone) so that a device keeps its address from one day to the next.
// The addresses are 127.0.1.2 to 127.0.1.254 (127.0.1.1 often names the host). The
// file holds one line "<address> <device serial>" per device, the most recently
// chosen last; it is read afresh on every look-up, so that the window and
// lumetra-cli share it. A damaged line is skipped, a file larger than kMaxBytes is
// ignored. When every address is taken, the device remembered longest ago whose
// address is not in use gives its address up.
class LoopbackAddressBook
{
public:
    static constexpr size_t kMaxBytes = 64 * 1024;
    // Longest device serial remembered; a longer one, or one with a space or a
    // control character, gets an address that is not remembered.
    static constexpr size_t kMaxSerialLength = 64;
    static constexpr int kFirstHost = 2;
    static constexpr int kLastHost = 254;

    explicit LoopbackAddressBook(const QString& path) : path_(path) {}

    // The address for `devSn`: the remembered one unless it is in `inUse`, else one
    // not in `inUse` and not remembered for another device (remembered from now on).
    // Empty when every address is in use.
    std::string AddressFor(const std::string& devSn, const std::set<std::string>& inUse) const;
    // The address remembered for `devSn`, empty when none.
    std::string Remembered(const std::string& devSn) const;
    // Every remembered address, the most recently chosen last.
    std::vector<std::string> Addresses() const;

    static bool IsRememberableSerial(const std::string& devSn);

private:
    const QString path_;
};
