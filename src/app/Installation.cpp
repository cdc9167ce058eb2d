#include "app/Installation.h"

#include "app/CustomResourceTable.h"
#include "app/InputRules.h"
#include "app/LoginCache.h"
#include "app/PcId.h"
#include "app/PrivateFile.h"
#include "app/ProgramFolder.h"
#include "platform/BoundedFile.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

Installation::Installation(const QString& folder) : Installation(folder, folder) {}

Installation::Installation(const QString& dataFolder, const QString& stateFolder)
    : dataFolder_(dataFolder), stateFolder_(stateFolder), trace_(stateFolder + QStringLiteral("/logtrace"))
{
}

Installation::Installation() : Installation(GetDataFolder(), GetStateFolder())
{
    // The user's own folder holds a password and tunnel traffic: the owner's alone.
    // A folder that is also the data folder (LUMETRA_HOME, a build folder) is left
    // as it is.
    if (stateFolder_ != dataFolder_)
        PrivateFile::MakeFolder(QFile::encodeName(stateFolder_).toStdString());
}

QString Installation::CustomResourcePath() const
{
    return dataFolder_ + QStringLiteral("/custom_resource/platconf");
}

QString Installation::LoginCachePath() const
{
    return stateFolder_ + QStringLiteral("/licache");
}

QString Installation::TunnelAddressPath() const
{
    return stateFolder_ + QStringLiteral("/tunnel_addresses");
}

bool Installation::LoginCacheOpenToOthers() const
{
    return LoginCacheIsOpenToOthers(LoginCachePath());
}

QString Installation::TraceLogPath() const
{
    return trace_.Path();
}

void Installation::LoadCustomResources()
{
    LoadCustomResourcesFrom(CustomResourcePath());
}

void Installation::LoadCustomResourcesFrom(const QString& path)
{
    // A second load replaces the table (tests and tools reload); the earlier entries
    // are retired, not freed, so pointers from earlier look-ups stay valid.
    retired_.insert(retired_.end(), std::make_move_iterator(table_.begin()),
                    std::make_move_iterator(table_.end()));
    table_.clear();

    const QByteArray where = QFile::encodeName(path);
    QByteArray image;
    std::string why;
    switch (platform::BoundedFile::Read(path, kCustomResourceFileLimit, &image, &why)) {
    case platform::BoundedFile::Result::Read:
        break;
    case platform::BoundedFile::Result::Missing:
        std::fprintf(stderr, "custom resource file %s not found; no custom resources\n", where.constData());
        ApplyTraceSettings();
        return;
    case platform::BoundedFile::Result::TooLarge:
        std::fprintf(stderr, "custom resource file %s is damaged: %s; kept the 0 entries before it\n",
                     where.constData(), why.c_str());
        ApplyTraceSettings();
        return;
    case platform::BoundedFile::Result::Failed:
        std::fprintf(stderr, "custom resource file %s cannot be read: %s\n", where.constData(), why.c_str());
        ApplyTraceSettings();
        return;
    }
    std::string error;
    if (!ParseCustomResources(reinterpret_cast<const uint8_t*>(image.constData()),
                              static_cast<size_t>(image.size()), table_, &error)) {
        std::fprintf(stderr, "custom resource file %s is damaged: %s; kept the %zu entries before it\n",
                     where.constData(), error.c_str(), table_.size());
    }
    ApplyTraceSettings();
}

void Installation::ApplyTraceSettings()
{
    // "trace_limit_mib": the trace log's cap, 1 to kTraceLimitMaxMib MiB; anything
    // else keeps the default.
    const std::string mib = ResourceText("trace_limit_mib");
    uint64_t value = 0;
    bool valid = !mib.empty() && mib.size() <= 5;
    for (size_t i = 0; valid && i < mib.size(); ++i) {
        valid = mib[i] >= '0' && mib[i] <= '9';
        value = value * 10 + static_cast<uint64_t>(mib[i] - '0');
    }
    valid = valid && value >= 1 && value <= kTraceLimitMaxMib;
    trace_.SetLimit(valid ? value * 1024 * 1024 : TraceLog::kDefaultLimit);
    // "trace_data" "0" switches the entries that carry tunnel bytes off. The user's
    // LUMETRA_TRACE_DATA ("0" or "1") wins over the installation's entry.
    std::string data = ResourceText("trace_data", "1");
    const QByteArray own = qgetenv("LUMETRA_TRACE_DATA");
    if (own == "0" || own == "1")
        data = own.toStdString();
    trace_.SetPayloads(data != "0");
}

const _Resource_Info* Installation::FindResource(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    for (const std::unique_ptr<_Resource_Info>& entry : table_) {
        if (std::strcmp(entry->name.c_str(), name) == 0)
            return entry.get();
    }
    return nullptr;
}

std::string Installation::ResourceText(const char* name, const std::string& fallback) const
{
    const _Resource_Info* entry = FindResource(name);
    return entry ? entry->Text() : fallback;
}

WebEndpoint Installation::WebService() const
{
    WebEndpoint endpoint;
    if (const _Resource_Info* host = FindResource("wsh")) {
        endpoint.hostPresent = true;
        endpoint.host = host->Text();
    }
    if (const _Resource_Info* port = FindResource("wsp")) {
        endpoint.portPresent = true;
        endpoint.portText = port->Text();
        endpoint.port = std::atoi(endpoint.portText.c_str());
    }
    return endpoint;
}

void Installation::SetPcId(const char* id)
{
    pcId_ = id ? id : "";
}

void Installation::SettlePcId()
{
    std::unique_ptr<CRequestLogin> cached = LoadLoginCache(LoginCachePath());
    if (cached && !cached->GetPcId().isEmpty()) {
        const std::string id = platform::TextCodec::WideToLocal(cached->GetPcId());
        // The identifier becomes a level of this PC's topics: anything but the 20
        // digits made here (a wildcard, a separator, a long text) is replaced.
        if (InputRules::IsPcId(id)) {
            SetPcId(id.c_str());
            return;
        }
        InputRules::ReportDropped("PC identifier of the login cache",
                                  "\"" + InputRules::Excerpt(id) + "\" is not 20 digits; a new one is made");
    }
    // No usable cache, or one without a usable identifier: make the identifier and
    // write a fresh record that keeps whatever the old cache remembered of the last
    // login.
    CRequestLogin record;
    if (cached) {
        record.SetUserName(cached->GetUserName());
        record.SetPassword(cached->GetPassword());
        record.SetRemember(cached->GetRemember());
    }
    const std::string id = MakePcId();
    record.SetPcId(platform::TextCodec::LocalToWide(id));
    SetPcId(id.c_str());
    if (!SaveLoginCache(LoginCachePath(), record))
        std::fprintf(stderr, "login cache could not be written; the PC identifier lasts for this run only\n");
}
