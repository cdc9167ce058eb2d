// The login cache: any bytes are written as the cache file of a private program
// folder and loaded the way the programs load it at start-up. A cache that loads
// must survive being saved and loaded again with every field unchanged.

#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "app/CRequestLogin.h"
#include "app/LoginCache.h"

#include <QByteArray>

#include <cstdlib>

namespace {

bool Same(const CRequestLogin& a, const CRequestLogin& b)
{
    return a.GetUserName() == b.GetUserName() && a.GetPassword() == b.GetPassword() &&
           a.GetPcId() == b.GetPcId() && a.GetRemember() == b.GetRemember();
}

// The cache of the fuzz folder's installation.
QString CachePath()
{
    return QString::fromStdString(FuzzFolder::Path() + "/licache");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("LUMETRA_HOME", FuzzFolder::Path().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzFolder::Write("licache", data, size);
    const std::unique_ptr<CRequestLogin> loaded = LoadLoginCache(CachePath());
    const std::unique_ptr<CRequestLogin> parsed = CRequestLogin::Deserialize(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    FUZZ_CHECK((loaded != nullptr) == (parsed != nullptr));
    if (loaded == nullptr)
        return 0;
    FUZZ_CHECK(Same(*loaded, *parsed));
    FUZZ_CHECK(SaveLoginCache(CachePath(), *loaded));
    const std::unique_ptr<CRequestLogin> again = LoadLoginCache(CachePath());
    FUZZ_CHECK(again != nullptr && Same(*loaded, *again));
    return 0;
}
