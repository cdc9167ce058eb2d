#include "endpoint/VirtualComPairs.h"

#include "app/ProgramFolder.h"
#include "endpoint/VpnClientControl.h"
#include "platform/ComPortNames.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <thread>

namespace {

const char* const kSecondInstallFolder = "/usr/lib/lumetra/";
const char* const kListArguments = " list";
const char* const kInstallArguments = " install PortName=COM# PortName=COM#";
constexpr int kRelistAttempts = 3;
constexpr auto kRelistPause = std::chrono::milliseconds(2000);

bool HoldsTool(const std::string& folder)
{
    struct stat info;
    const std::string tool = folder + kVirtualComTool;
    return stat(tool.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The command line runs through the shell: the tool's path is quoted so that install
// folders with spaces or other special characters work.
std::string QuotedToolPath(const std::string& folder)
{
    const std::string path = folder + kVirtualComTool;
    std::string quoted = "'";
    for (const char c : path) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += "'";
    return quoted;
}

void ShowMissingDriver()
{
    platform::AfxMessageBox(QString::fromUtf8(kVirtualComMissingMessage));
}

} // namespace

VirtualComPairs::VirtualComPairs() = default;

VirtualComPairs::~VirtualComPairs() = default;

std::string FindVirtualComFolder()
{
    std::string programFolder = QFile::encodeName(GetProgramFolder()).toStdString();
    if (!programFolder.empty()) {
        if (programFolder.back() != '/')
            programFolder += '/';
        if (HoldsTool(programFolder))
            return programFolder;
    }
    if (HoldsTool(kSecondInstallFolder))
        return kSecondInstallFolder;
    return std::string();
}

bool ParseVirtualComLine(const std::string& line, _virtual_com_half* half)
{
    if (half == nullptr || line.find("RealPortName") == std::string::npos)
        return false;

    std::string name;
    std::string numberText;
    const size_t cnc = line.find("CNC");
    if (cnc != std::string::npos) {
        for (size_t i = cnc + 3; i < line.size(); ++i) {
            const char c = line[i];
            if (c == 'A' || c == 'B')
                name = std::string("CNC") + c;
            else if (c >= '0' && c <= '9')
                numberText += c;
            else if (c == ' ')
                break;
        }
    }

    std::string comText;
    constexpr char kComMarker[] = "RealPortName=COM";
    constexpr size_t kComMarkerLength = sizeof kComMarker - 1;
    const size_t real = line.find(kComMarker);
    if (real != std::string::npos) {
        for (size_t i = real + kComMarkerLength; i < line.size(); ++i) {
            const char c = line[i];
            if (c >= '0' && c <= '9')
                comText += c;
            else if (c == '\n')
                break;
        }
    }

    if (name.empty() || numberText.empty() || comText.empty())
        return false;
    // atoi on a digit run longer than an int holds is undefined: such numbers are
    // clamped instead (no real listing has them).
    const auto toInt = [](const std::string& digits) {
        const long long value = std::strtoll(digits.c_str(), nullptr, 10);
        return static_cast<int>(std::min<long long>(value, 0x7fffffff));
    };
    half->number = toInt(numberText);
    half->name = name;
    half->com = toInt(comText);
    half->isA = name == "CNCA" ? 1 : 0;
    half->listed = 1;
    return true;
}

void VirtualComPairs::AddHalf(std::unique_ptr<_virtual_com_half> half)
{
    if (half == nullptr)
        return;
    _virtual_com_half* raw = half.get();
    halves_.push_back(std::move(half));
    for (_virtual_com_pair& pair : pairs_) {
        if (pair.number == raw->number) {
            pair.halves.push_back(raw);
            return;
        }
    }
    _virtual_com_pair pair;
    pair.number = raw->number;
    pair.halves.push_back(raw);
    pairs_.push_back(pair);
}

void VirtualComPairs::AddListing(const std::string& output)
{
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        _virtual_com_half parsed;
        if (ParseVirtualComLine(output.substr(start, end - start), &parsed))
            AddHalf(std::make_unique<_virtual_com_half>(parsed));
        start = end + 1;
    }
    pairs_.erase(std::remove_if(pairs_.begin(), pairs_.end(),
                                [](const _virtual_com_pair& pair) { return pair.halves.empty(); }),
                 pairs_.end());
}

void VirtualComPairs::ListInstalled()
{
    const std::string folder = FindVirtualComFolder();
    if (folder.empty()) {
        ShowMissingDriver();
        return;
    }
    const std::optional<std::string> output =
        RunCommandCaptured(QuotedToolPath(folder) + kListArguments, folder);
    if (!output || output->empty())
        return;
    AddListing(*output);
}

void VirtualComPairs::Ensure()
{
    ListInstalled();
    if (!pairs_.empty())
        return;

    const std::string folder = FindVirtualComFolder();
    if (folder.empty()) {
        // Without an install folder there is no tool to run: the attempt ends here, as
        // a command naming a tool that is not there would.
        ShowMissingDriver();
        return;
    }
    InstallOne(folder);
}

void VirtualComPairs::InstallOne(const std::string& folder)
{
    const size_t before = pairs_.size();
    const std::optional<std::string> output =
        RunCommandCaptured(QuotedToolPath(folder) + kInstallArguments, folder);
    if (!output || output->empty())
        return;

    for (int attempt = 0; attempt < kRelistAttempts; ++attempt) {
        ListInstalled();
        if (pairs_.size() > before)
            return;
        std::this_thread::sleep_for(kRelistPause);
    }
}

VirtualComLease VirtualComPairs::LeaseFreePair()
{
    Ensure();
    VirtualComLease lease = TakeFreePair();
    if (lease.lock != nullptr || pairs_.empty())
        return lease;
    // Every pair is held by another tunnel: this one gets a pair of its own.
    const std::string folder = FindVirtualComFolder();
    if (!folder.empty())
        InstallOne(folder);
    return TakeFreePair();
}

VirtualComLease VirtualComPairs::TakeFreePair()
{
    const std::string lockFolder = platform::VirtualComFolder();
    for (auto pair = pairs_.rbegin(); pair != pairs_.rend(); ++pair) {
        VirtualComLease lease;
        for (_virtual_com_half* half : pair->halves) {
            if (half->isA == 0 && half->listed != 0)
                lease.user = half;
            else if (half->isA == 1 && lease.program == nullptr)
                lease.program = half;
        }
        if (lease.user == nullptr || lease.program == nullptr)
            continue;
        lease.lock = ComPairLock::TryTake(lockFolder, pair->number);
        if (lease.lock != nullptr)
            return lease;
    }
    return {};
}

_virtual_com_half* VirtualComPairs::PickUserHalf() const
{
    _virtual_com_half* picked = nullptr;
    for (const _virtual_com_pair& pair : pairs_) {
        for (_virtual_com_half* half : pair.halves) {
            if (half->isA == 0 && half->listed != 0)
                picked = half;
        }
    }
    return picked;
}

_virtual_com_half* VirtualComPairs::PickProgramHalf(int com) const
{
    for (const _virtual_com_pair& pair : pairs_) {
        const bool holds = std::any_of(pair.halves.begin(), pair.halves.end(),
                                       [com](const _virtual_com_half* half) { return half->com == com; });
        if (!holds)
            continue;
        for (_virtual_com_half* half : pair.halves) {
            if (half->isA == 1)
                return half;
        }
        return nullptr;
    }
    return nullptr;
}

_virtual_com_pair* VirtualComPairs::PairOf(const _virtual_com_half* half)
{
    for (_virtual_com_pair& pair : pairs_) {
        if (std::find(pair.halves.begin(), pair.halves.end(), half) != pair.halves.end())
            return &pair;
    }
    return nullptr;
}
