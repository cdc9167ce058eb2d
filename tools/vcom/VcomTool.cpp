#include "VcomTool.h"

#include "FolderLock.h"
#include "LumetraVersion.h"
#include "PairHolder.h"
#include "VcomFolder.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr const char* kUsageText = "usage: lumetra-vcom install PortName=COM# PortName=COM#\n"
                                   "       lumetra-vcom list\n"
                                   "       lumetra-vcom remove <pair number>\n"
                                   "       lumetra-vcom --help | --version\n"
                                   "\n"
                                   "install makes a virtual null-modem pair and links its two ends as\n"
                                   "COMk in the virtual COM folder; \"PortName=COM#\" takes the lowest free\n"
                                   "number, \"PortName=COMk\" (1..255) asks for number k.\n"
                                   "list prints one line per end, remove ends a pair.\n"
                                   "Folder: $LUMETRA_VCOM_DIR, else $XDG_RUNTIME_DIR/lumetra-vcom,\n"
                                   "else /tmp/lumetra-vcom-<uid>.\n";

constexpr int kHolderExitTimeoutS = 5;

// Digits only, no sign, at most `maxDigits` of them; -1 otherwise.
int PlainNumber(const std::string& text, size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "PortName=COM#" gives 0 (any number), "PortName=COMk" gives k, anything else -1.
int PortNameArgument(const std::string& arg)
{
    static const std::string prefix = "PortName=COM";
    if (arg.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::string rest = arg.substr(prefix.size());
    if (rest == "#")
        return 0;
    if (rest.size() > 1 && rest[0] == '0')
        return -1;
    const int k = PlainNumber(rest, 3);
    return k >= 1 && k <= VcomFolder::kMaxCom ? k : -1;
}

void OnAlarm(int) {}

// Waits until the holder's lock on `fd` is gone (the holder ended), at most
// `seconds`. SIGALRM without SA_RESTART interrupts the blocking flock().
bool WaitForUnlock(int fd, int seconds)
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnAlarm;
    sigemptyset(&sa.sa_mask);
    struct sigaction old;
    sigaction(SIGALRM, &sa, &old);
    alarm(static_cast<unsigned>(seconds));
    const bool unlocked = flock(fd, LOCK_SH) == 0;
    alarm(0);
    sigaction(SIGALRM, &old, nullptr);
    if (unlocked)
        flock(fd, LOCK_UN);
    return unlocked;
}

} // namespace

int VcomTool::Usage(const std::string& problem)
{
    err_ << "lumetra-vcom: " << problem << "\n" << kUsageText;
    return kUsage;
}

int VcomTool::Run(const std::vector<std::string>& args)
{
    if (args.empty())
        return Usage("no command given");
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help" || command == "help") {
        out_ << kUsageText;
        return kOk;
    }
    if (command == "--version") {
        out_ << "lumetra-vcom " << LUMETRA_VERSION << "\n";
        return kOk;
    }
    if (command == "list") {
        if (!rest.empty())
            return Usage("list takes no arguments");
        return List();
    }
    if (command == "install")
        return Install(rest);
    if (command == "remove")
        return Remove(rest);
    return Usage("unknown command '" + command + "'");
}

void VcomTool::PrintEnds(int number, int comA, int comB)
{
    out_ << "       CNCA" << number << " PortName=COM#,RealPortName=COM" << comA << "\n";
    out_ << "       CNCB" << number << " PortName=COM#,RealPortName=COM" << comB << "\n";
}

int VcomTool::List()
{
    VcomFolder folder(VcomFolder::DefaultPath());
    std::string error;
    FolderLock lock;
    if (!folder.Prepare(&error) || !lock.Acquire(folder.LockPath(), &error)) {
        err_ << "lumetra-vcom: " << error << "\n";
        return kFailed;
    }
    folder.RemoveDeadPairs();
    for (const PairRecord& pair : folder.LivePairs())
        PrintEnds(pair.number, pair.comA, pair.comB);
    out_.flush();
    return kOk;
}

int VcomTool::Install(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return Usage("install needs exactly two arguments: PortName=COM# PortName=COM#");
    int wanted[2];
    for (int i = 0; i < 2; ++i) {
        wanted[i] = PortNameArgument(args[i]);
        if (wanted[i] < 0)
            return Usage("install: '" + args[i] +
                         "' is not PortName=COM# or PortName=COMk (k from 1 to 255)");
    }
    if (wanted[0] != 0 && wanted[0] == wanted[1])
        return Usage("install: both ends cannot be COM" + std::to_string(wanted[0]));

    VcomFolder folder(VcomFolder::DefaultPath());
    std::string error;
    FolderLock lock;
    if (!folder.Prepare(&error) || !lock.Acquire(folder.LockPath(), &error)) {
        err_ << "lumetra-vcom: " << error << "\n";
        return kFailed;
    }
    folder.RemoveDeadPairs();

    const int number = folder.LowestFreePair();
    if (number < 0) {
        err_ << "lumetra-vcom: no free pair number (at most " << VcomFolder::kMaxPair + 1 << " pairs)\n";
        return kFailed;
    }
    for (int i = 0; i < 2; ++i) {
        if (wanted[i] > 0 && folder.ComInUse(wanted[i])) {
            err_ << "lumetra-vcom: COM" << wanted[i] << " is already in use\n";
            return kFailed;
        }
    }
    // Fixed numbers first, so an automatic one does not take a number asked for.
    int com[2] = {wanted[0], wanted[1]};
    for (int i = 0; i < 2; ++i) {
        if (com[i] == 0) {
            com[i] = folder.LowestFreeCom(com[1 - i]);
            if (com[i] < 0) {
                err_ << "lumetra-vcom: no free COM number (1 to " << VcomFolder::kMaxCom << ")\n";
                return kFailed;
            }
        }
    }

    PairRecord made;
    if (!PairHolder::Start(folder, lock.Fd(), number, com[0], com[1], &made, &error)) {
        // A holder that came up too late is ended, so no half-made pair stays.
        PairRecord late;
        bool alive = false;
        if (folder.ReadPair(number, &late, &alive) && alive && late.pid > 0)
            kill(late.pid, SIGTERM);
        folder.RemoveDeadPairs();
        err_ << "lumetra-vcom: cannot make the pair: " << error << "\n";
        return kFailed;
    }
    // Both links must lead to a working terminal before we say so.
    for (int i = 0; i < 2; ++i) {
        const std::string link = folder.LinkPath(com[i]);
        const int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const bool works = fd >= 0 && isatty(fd);
        const int openErrno = errno;
        if (fd >= 0)
            close(fd);
        if (!works) {
            err_ << "lumetra-vcom: " << link << " does not work: " << std::strerror(openErrno) << "\n";
            kill(made.pid, SIGTERM);
            return kFailed;
        }
    }
    PrintEnds(number, com[0], com[1]);
    out_ << "pair " << number << ": " << folder.LinkPath(com[0]) << " -> " << made.deviceA << ", "
         << folder.LinkPath(com[1]) << " -> " << made.deviceB << "\n";
    out_.flush();
    return kOk;
}

int VcomTool::Remove(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return Usage("remove needs exactly one argument: the pair number");
    const int number = PlainNumber(args[0], 4);
    if (number < 0)
        return Usage("remove: '" + args[0] + "' is not a pair number");

    VcomFolder folder(VcomFolder::DefaultPath());
    std::string error;
    FolderLock lock;
    if (!folder.Prepare(&error) || !lock.Acquire(folder.LockPath(), &error)) {
        err_ << "lumetra-vcom: " << error << "\n";
        return kFailed;
    }
    PairRecord record;
    bool alive = false;
    if (!folder.ReadPair(number, &record, &alive)) {
        err_ << "lumetra-vcom: there is no pair " << number << "\n";
        return kFailed;
    }
    if (alive && record.pid <= 0) {
        err_ << "lumetra-vcom: the state of pair " << number << " cannot be read\n";
        return kFailed;
    }
    if (!alive) {
        // Its holder is already gone: only its files are left.
        folder.RemovePairFiles(record);
        out_ << "removed pair " << number << "\n";
        return kOk;
    }
    // Keep the state file open: its lock tells when the holder has ended. The
    // folder lock is let go meanwhile, since the holder cleans up without it.
    const int stateFd = open(folder.StatePath(number).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (stateFd < 0) {
        err_ << "lumetra-vcom: there is no pair " << number << "\n";
        return kFailed;
    }
    kill(record.pid, SIGTERM);
    lock.Release();
    bool ended = WaitForUnlock(stateFd, kHolderExitTimeoutS);
    if (!ended) {
        kill(record.pid, SIGKILL);
        ended = WaitForUnlock(stateFd, kHolderExitTimeoutS);
    }
    close(stateFd);
    if (!ended) {
        err_ << "lumetra-vcom: the holder of pair " << number << " (pid " << record.pid << ") does not end\n";
        return kFailed;
    }
    if (lock.Acquire(folder.LockPath(), &error))
        folder.RemoveDeadPairs();
    out_ << "removed pair " << number << "\n";
    return kOk;
}
