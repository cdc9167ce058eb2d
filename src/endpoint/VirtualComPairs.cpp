#include "endpoint/VirtualComPairs.h"

#include "app/ProgramFolder.h"
#include "endpoint/VpnClientControl.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <thread>

const char* const kVirtualComTool = "lumetra-vcom";
const char* const kVirtualComMissingMessage = "找不到串口，请确认是否安装正确";

namespace {

const char* const kSecondInstallFolder = "/usr/lib/lumetra/";
const char* const kListArguments = " list";
const char* const kInstallArguments = " install PortName=COM# PortName=COM#";
constexpr int kRelistAttempts = 3;
constexpr auto kRelistPause = std::chrono::milliseconds(2000);

std::vector<_virtual_com_pair>& Pairs()
{
    // Never destroyed: the halves live until the process ends, and a reader may still
    // look at the list while static objects are torn down at exit.
    static std::vector<_virtual_com_pair>* pairs = new std::vector<_virtual_com_pair>;
    return *pairs;
}

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
    AfxMessageBox(QString::fromUtf8(kVirtualComMissingMessage));
}

} // namespace

const std::vector<_virtual_com_pair>& VirtualComPairList()
{
    return Pairs();
}

void ResetVirtualComPairsForTest()
{
    for (_virtual_com_pair& pair : Pairs()) {
        for (_virtual_com_half* half : pair.halves)
            delete half;
    }
    Pairs().clear();
}

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
    static const std::string kComMarker = "RealPortName=COM";
    const size_t real = line.find(kComMarker);
    if (real != std::string::npos) {
        for (size_t i = real + kComMarker.size(); i < line.size(); ++i) {
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
    half->serial = nullptr;
    return true;
}

void AddVirtualComHalf(_virtual_com_half* half)
{
    if (half == nullptr)
        return;
    std::vector<_virtual_com_pair>& pairs = Pairs();
    for (_virtual_com_pair& pair : pairs) {
        if (pair.number == half->number) {
            pair.halves.push_back(half);
            return;
        }
    }
    _virtual_com_pair pair;
    pair.number = half->number;
    pair.halves.push_back(half);
    pairs.push_back(pair);
}

void AddVirtualComListing(const std::string& output)
{
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        _virtual_com_half parsed;
        if (ParseVirtualComLine(output.substr(start, end - start), &parsed))
            AddVirtualComHalf(new _virtual_com_half(parsed));
        start = end + 1;
    }
    std::vector<_virtual_com_pair>& pairs = Pairs();
    pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                               [](const _virtual_com_pair& pair) { return pair.halves.empty(); }),
                pairs.end());
}

void ListVirtualComPairs()
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
    AddVirtualComListing(*output);
}

void EnsureVirtualComPair()
{
    ListVirtualComPairs();
    if (!Pairs().empty())
        return;

    const std::string folder = FindVirtualComFolder();
    if (folder.empty()) {
        // Without an install folder there is no tool to run: the attempt ends here, as
        // a command naming a tool that is not there would.
        ShowMissingDriver();
        return;
    }
    const std::optional<std::string> output =
        RunCommandCaptured(QuotedToolPath(folder) + kInstallArguments, folder);
    if (!output || output->empty())
        return;

    for (int attempt = 0; attempt < kRelistAttempts; ++attempt) {
        ListVirtualComPairs();
        if (!Pairs().empty())
            return;
        std::this_thread::sleep_for(kRelistPause);
    }
}

_virtual_com_half* PickUserHalf()
{
    _virtual_com_half* picked = nullptr;
    for (const _virtual_com_pair& pair : Pairs()) {
        for (_virtual_com_half* half : pair.halves) {
            if (half->isA == 0 && half->listed != 0)
                picked = half;
        }
    }
    return picked;
}

_virtual_com_half* PickProgramHalf(int com)
{
    for (const _virtual_com_pair& pair : Pairs()) {
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
