// lumetra-vcom's folder records: any bytes are the state file of pair 0 in a private
// virtual COM folder. Reading it gives the record that the text parses to (or an
// empty one), a clean-up removes it because nobody holds it, and a record that
// parses is written back by a holder (state file and links) and read as live with
// the same fields, then removed again with its links.

#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "PairFiles.h"
#include "PairRecord.h"
#include "VcomFolder.h"

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

VcomFolder* g_folder = nullptr;

bool Same(const PairRecord& a, const PairRecord& b)
{
    return a.pid == b.pid && a.comA == b.comA && a.comB == b.comB && a.deviceA == b.deviceA &&
           a.deviceB == b.deviceB;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_folder = new VcomFolder(FuzzFolder::Path() + "/vcom");
    std::string error;
    FUZZ_CHECK(g_folder->Prepare(&error));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const VcomFolder& folder = *g_folder;
    const std::string text(reinterpret_cast<const char*>(data), size);
    PairRecord parsed;
    const bool complete = parsed.Parse(text);
    if (complete) {
        FUZZ_CHECK(parsed.pid > 0 && parsed.comA > 0 && parsed.comB > 0);
        PairRecord again;
        FUZZ_CHECK(again.Parse(parsed.Format()) && Same(again, parsed));
    }

    FuzzFolder::Write("vcom/pair0", data, size);
    PairRecord read;
    bool alive = true;
    FUZZ_CHECK(folder.ReadPair(0, &read, &alive));
    FUZZ_CHECK(!alive && read.number == 0);
    FUZZ_CHECK(complete ? Same(read, parsed) : Same(read, PairRecord()));
    folder.RemoveDeadPairs();
    FUZZ_CHECK(!Exists(folder.StatePath(0)));
    // A holder writes what it got from the system: device paths are C strings.
    if (!complete || parsed.deviceA.find('\0') != std::string::npos ||
        parsed.deviceB.find('\0') != std::string::npos)
        return 0;

    {
        PairFiles files(folder);
        std::string error;
        FUZZ_CHECK(files.State(1, parsed, &error));
        files.Link(parsed.comA, parsed.deviceA, &error);
        files.Link(parsed.comB, parsed.deviceB, &error);
        FUZZ_CHECK(folder.ReadPair(1, &read, &alive) && alive && Same(read, parsed));
        const std::vector<PairRecord> live = folder.LivePairs();
        FUZZ_CHECK(live.size() == 1 && Same(live[0], parsed));
        FUZZ_CHECK(folder.ComInUse(parsed.comA) && folder.ComInUse(parsed.comB));
        folder.RemoveDeadPairs();
        FUZZ_CHECK(Exists(folder.StatePath(1)));
    }
    FUZZ_CHECK(!Exists(folder.StatePath(1)) && folder.LivePairs().empty());
    FUZZ_CHECK(!folder.ComInUse(parsed.comA) && !folder.ComInUse(parsed.comB));
    return 0;
}
