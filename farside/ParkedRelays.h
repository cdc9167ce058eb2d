#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

class TcpConnection;

// Device connections of port-forward tunnels whose PC connection was lost to a fault
// (a drop switch, a server restart) or is being replaced, kept for kKeepMs so that
// the PC can re-attach with a registration carrying "reconnect": 1. While a device
// connection is parked nobody reads it: the device's bytes wait in the socket. One
// not taken in time goes to `expire` (on the line's own thread).
class ParkedRelays
{
public:
    static constexpr int kKeepMs = 30000;

    struct Parked
    {
        std::string pcId;
        std::shared_ptr<TcpConnection> target; // the device connection
        std::string pending;                   // device bytes read but not yet delivered
    };
    using Key = std::pair<std::string, std::string>; // gateway and device serial
    using Expire = std::function<void(const Key& key, Parked& parked)>;

    explicit ParkedRelays(Expire expire);
    ~ParkedRelays();
    ParkedRelays(const ParkedRelays&) = delete;
    ParkedRelays& operator=(const ParkedRelays&) = delete;

    void Park(const Key& key, Parked parked);
    // Asks the live connection of the tunnel to park its device connection when it
    // ends; Take clears the wish.
    void Want(const Key& key);
    bool Wanted(const Key& key) const;
    // Takes the tunnel's parked device connection when `pcId` parked it, waiting up to
    // `timeoutMs` for one to be parked. False when none came.
    bool Take(const Key& key, const std::string& pcId, int timeoutMs, Parked* out);

private:
    struct Entry
    {
        Parked parked;
        std::chrono::steady_clock::time_point until;
    };

    void Run();

    Expire expire_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<Key, Entry> parked_;
    std::set<Key> wanted_;
    bool stopping_ = false;
    std::thread thread_;
};
