#pragma once

#include "cloud/VirtualComPair.h"
#include "endpoint/ComPairLock.h"

#include <QtGlobal>

#include <memory>
#include <string>
#include <vector>

// The pair tool's file name inside its install folder.
inline constexpr const char* kVirtualComTool = "lumetra-vcom";
// The message shown when no install folder holds the tool.
inline constexpr const char* kVirtualComMissingMessage =
    QT_TRANSLATE_NOOP("UiText", "找不到串口，请确认是否安装正确");

// The first install folder that holds the tool: the program folder (GetProgramFolder,
// which honours LUMETRA_HOME), then "/usr/lib/lumetra/". The folder is returned with a
// trailing "/"; empty when neither holds the tool.
std::string FindVirtualComFolder();

// Reads one line of the tool's listing. Only a line that contains "RealPortName" is
// read; the end name is "CNC" plus the first "A" or "B" after "CNC", the pair number
// the digits after "CNC" up to the first space, and the COM number the digits after
// "RealPortName=COM" up to a line feed (other characters are skipped). True, with
// `half` filled (listed set), when name, number and COM number
// were all found.
bool ParseVirtualComLine(const std::string& line, _virtual_com_half* half);

// One pair for one serial tunnel: its user and program ends, held by `lock` until the
// lease goes. An empty lease (no lock) when no pair could be had.
struct VirtualComLease
{
    _virtual_com_half* user = nullptr;
    _virtual_com_half* program = nullptr;
    std::unique_ptr<ComPairLock> lock;
};

// The virtual null-modem pairs of the serial tunnel, found and made with the pair tool
// lumetra-vcom. Ends are named "CNCA<n>" (the end the program opens) and "CNCB<n>"
// (the end offered to the user's application).
//
// One object per program run, made at start-up and handed to the serial tunnels. Its
// pair list grows with every listing: a listing appends its ends to the pairs already
// known (a new pair number makes a new pair at the end) and never removes earlier
// entries. The halves live as long as the object, so the pointers handed out stay
// valid until it goes; it must outlive every tunnel that uses them. Everything here
// runs on the UI thread only (the serial tunnel's start); nothing is locked.
class VirtualComPairs
{
public:
    VirtualComPairs();
    ~VirtualComPairs();
    VirtualComPairs(const VirtualComPairs&) = delete;
    VirtualComPairs& operator=(const VirtualComPairs&) = delete;

    // The pair list, in the order pair numbers were first seen.
    const std::vector<_virtual_com_pair>& Pairs() const { return pairs_; }

    // Adds a parsed half to the pair list: appended to the pair with its number, or to
    // a new pair at the end of the list.
    void AddHalf(std::unique_ptr<_virtual_com_half> half);

    // Adds every end named in a whole listing (lines split at line feeds), then drops
    // pairs left without halves.
    void AddListing(const std::string& output);

    // Runs "lumetra-vcom list" in the install folder and adds what it prints. Shows the
    // missing-driver message when there is no install folder.
    void ListInstalled();

    // Lists; when the list is still empty, installs one pair ("install PortName=COM#
    // PortName=COM#") and lists up to three more times, 2,000 ms apart, until a pair
    // shows up. Blocks the calling thread meanwhile (up to about 6 seconds).
    void Ensure();

    // Lists (installing a first pair when there is none, as Ensure) and leases the last
    // listed pair with both ends that no other tunnel holds, in this process or another
    // (ComPairLock in the pair folder). When every pair is held, installs one more pair
    // and leases it. Blocks like Ensure.
    VirtualComLease LeaseFreePair();

    // The end to offer to the user: the last "CNCB" end of the list, walking all pairs
    // and their halves in order; null when there is none.
    _virtual_com_half* PickUserHalf() const;

    // The program's end of the first pair that holds an end with COM number `com`:
    // that pair's first "CNCA" end; null when there is no such pair or end.
    _virtual_com_half* PickProgramHalf(int com) const;

    // The pair of the list that holds `half`; null when none does.
    _virtual_com_pair* PairOf(const _virtual_com_half* half);

private:
    // Leases the last listed pair with both ends that is free; empty when none is.
    VirtualComLease TakeFreePair();
    // Runs the tool's install in `folder` and lists again until the list grows (at most
    // kRelistAttempts times, apart by kRelistPause).
    void InstallOne(const std::string& folder);

    std::vector<_virtual_com_pair> pairs_;
    std::vector<std::unique_ptr<_virtual_com_half>> halves_;
};
