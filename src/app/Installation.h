#pragma once

#include "app/ResourceInfo.h"
#include "app/TraceLog.h"
#include "app/WebEndpoint.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One installation of the program: its folders and what the program keeps of it
// while it runs - the custom resource table (custom_resource/platconf), the PC
// identifier settled from the login cache, and the trace log. The installation's
// read-only data comes from its data folder, and everything the program writes goes
// to its state folder; one folder can be both. The window and the
// command-line client each make one at start-up and hand it to whatever reads
// the installation's texts or writes its log. Its destruction (or the trace log's
// Close) writes the last trace entries and ends the log's writer thread.
//
// Loading and settling happen once, at start-up, before other threads start;
// afterwards the table and the identifier are only read, from any thread. The trace
// log takes entries from any thread.
class Installation
{
public:
    // The installation in `folder` (no trailing separator), read and written there.
    explicit Installation(const QString& folder);
    // An installation read from `dataFolder` and written into `stateFolder`.
    Installation(const QString& dataFolder, const QString& stateFolder);
    // The program's own installation: GetDataFolder() and GetStateFolder() as they
    // are now. A state folder apart from the data folder (the user's own) is made
    // 0700 when it is missing, and tightened to 0700 when it is open to others.
    Installation();

    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    // The folders and the files of the installation inside them.
    const QString& DataFolder() const { return dataFolder_; }
    const QString& StateFolder() const { return stateFolder_; }
    QString CustomResourcePath() const; // <data folder>/custom_resource/platconf
    QString LoginCachePath() const;     // <state folder>/licache
    QString TraceLogPath() const;       // <state folder>/logtrace
    // The remembered loopback address of each device (LoopbackAddressBook).
    QString TunnelAddressPath() const; // <state folder>/tunnel_addresses

    // True when the login cache is there and group or others may read or write it.
    // Such a cache (it holds a password) is refused, not used: the window and the
    // command line stop with a message naming the file and the fix (chmod 600).
    bool LoginCacheOpenToOthers() const;

    // The largest cap of the trace log, in MiB, that "trace_limit_mib" may set.
    static constexpr uint64_t kTraceLimitMaxMib = 16384;

    // Reads the custom resource file (CustomResourcePath()) into the table. A missing
    // file leaves the table empty; a damaged one keeps the entries before the damage
    // and writes one line to standard error, and so does one larger than
    // kCustomResourceFileLimit (which keeps no entries). Then the trace log takes its
    // settings: "trace_limit_mib" (1 to kTraceLimitMaxMib; else 64) caps its file,
    // "trace_data" "0" switches off the entries that carry tunnel bytes, and the
    // environment variable LUMETRA_TRACE_DATA ("0" or "1") overrides that entry.
    void LoadCustomResources();
    // The same from an explicit path (tools and tests). A second load replaces the
    // table; entries handed out by earlier look-ups stay valid while the object lives.
    void LoadCustomResourcesFrom(const QString& path);

    // The first entry whose name equals `name` exactly (case-sensitive), or null.
    const _Resource_Info* FindResource(const char* name) const;
    // Text of an entry, or `fallback` when the table has no such entry.
    std::string ResourceText(const char* name, const std::string& fallback = std::string()) const;
    // The table in file order.
    const std::vector<std::unique_ptr<_Resource_Info>>& Resources() const { return table_; }
    // The web service the table names ("wsh", "wsp").
    WebEndpoint WebService() const;

    // The PC identifier: 20 decimal digits made once per installation and kept in
    // the login cache. It names this PC to the broker and the gateways. Empty until
    // settled or set.
    const char* PcId() const { return pcId_.c_str(); }
    // Replaces the identifier (a copy is kept; null empties it).
    void SetPcId(const char* id);
    // Settles the identifier from the login cache: reuse the cached one; make a new
    // one (and rewrite the cache, keeping its user name, password and remember flag)
    // when the cache is missing, damaged or holds no identifier of exactly 20 digits
    // (one line on standard error says so).
    void SettlePcId();

    // The trace log, <state folder>/logtrace.
    TraceLog& Trace() { return trace_; }

private:
    void ApplyTraceSettings();

    const QString dataFolder_;
    const QString stateFolder_;
    std::vector<std::unique_ptr<_Resource_Info>> table_;
    // Entries of a table that a later load replaced: kept so that a pointer handed
    // out by an earlier look-up never dangles.
    std::vector<std::unique_ptr<_Resource_Info>> retired_;
    std::string pcId_;
    TraceLog trace_;
};
