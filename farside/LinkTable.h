#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

// Which PC holds which device (bound through the binder or by a relay registration),
// and the data connection of each held device. One table for all services; safe from
// any thread. Callbacks of a session run outside the table's lock.
class LinkTable
{
public:
    struct Session
    {
        std::function<bool(const std::string&)> toDevice; // bytes from the PC for the device
        std::function<void()> close;                      // ends the connection
    };
    struct Holder
    {
        std::string pcId, gwSn, devSn;
    };

    // Binds the device to `pcId`. False when another PC holds it.
    bool Bind(const std::string& gwSn, const std::string& devSn, const std::string& pcId);
    bool HeldBy(const std::string& gwSn, const std::string& devSn, const std::string& pcId) const;
    // The PC holding the device, empty when free.
    std::string HolderOf(const std::string& gwSn, const std::string& devSn) const;
    // Frees the device when `pcId` holds it, closing its session. False otherwise.
    bool Release(const std::string& gwSn, const std::string& devSn, const std::string& pcId);
    // Frees every device of `pcId`; returns what was freed.
    std::vector<Holder> ReleasePc(const std::string& pcId);
    std::vector<Holder> Holders() const;

    // Makes `session` the device's data connection (closing the one before it) and
    // returns its id.
    int Attach(const std::string& gwSn, const std::string& devSn, Session session);
    // Forgets the session when it is still the device's one.
    void Detach(const std::string& gwSn, const std::string& devSn, int id);
    // Hands bytes to the device's session; false when it has none.
    bool ToDevice(const std::string& gwSn, const std::string& devSn, const std::string& bytes);
    // Ends the device's session, if any (the binding stays).
    void CloseSession(const std::string& gwSn, const std::string& devSn);

private:
    using Key = std::pair<std::string, std::string>;
    struct Link
    {
        std::string pcId;
        int sessionId = 0;
        Session session;
    };

    mutable std::mutex mutex_;
    std::map<Key, Link> links_;
    int nextId_ = 1;
};
