#include "LinkTable.h"

bool LinkTable::Bind(const std::string& gwSn, const std::string& devSn, const std::string& pcId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Link& link = links_[{gwSn, devSn}];
    if (!link.pcId.empty() && link.pcId != pcId)
        return false;
    link.pcId = pcId;
    return true;
}

bool LinkTable::HeldBy(const std::string& gwSn, const std::string& devSn, const std::string& pcId) const
{
    return !pcId.empty() && HolderOf(gwSn, devSn) == pcId;
}

std::string LinkTable::HolderOf(const std::string& gwSn, const std::string& devSn) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = links_.find({gwSn, devSn});
    return it == links_.end() ? std::string() : it->second.pcId;
}

bool LinkTable::Release(const std::string& gwSn, const std::string& devSn, const std::string& pcId)
{
    std::function<void()> close;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = links_.find({gwSn, devSn});
        if (it == links_.end() || it->second.pcId != pcId)
            return false;
        close = it->second.session.close;
        links_.erase(it);
    }
    if (close)
        close();
    return true;
}

std::vector<LinkTable::Holder> LinkTable::ReleasePc(const std::string& pcId)
{
    std::vector<Holder> freed;
    std::vector<std::function<void()>> closers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = links_.begin(); it != links_.end();) {
            if (it->second.pcId != pcId) {
                ++it;
                continue;
            }
            freed.push_back({pcId, it->first.first, it->first.second});
            if (it->second.session.close)
                closers.push_back(it->second.session.close);
            it = links_.erase(it);
        }
    }
    for (const auto& close : closers)
        close();
    return freed;
}

std::vector<LinkTable::Holder> LinkTable::Holders() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Holder> holders;
    for (const auto& [key, link] : links_) {
        if (!link.pcId.empty())
            holders.push_back({link.pcId, key.first, key.second});
    }
    return holders;
}

int LinkTable::Attach(const std::string& gwSn, const std::string& devSn, Session session)
{
    std::function<void()> previous;
    int id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Link& link = links_[{gwSn, devSn}];
        previous = link.session.close;
        link.session = std::move(session);
        link.sessionId = id = nextId_++;
    }
    if (previous)
        previous();
    return id;
}

void LinkTable::Detach(const std::string& gwSn, const std::string& devSn, int id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = links_.find({gwSn, devSn});
    if (it == links_.end() || it->second.sessionId != id)
        return;
    it->second.sessionId = 0;
    it->second.session = Session();
    if (it->second.pcId.empty())
        links_.erase(it);
}

bool LinkTable::ToDevice(const std::string& gwSn, const std::string& devSn, const std::string& bytes)
{
    std::function<bool(const std::string&)> toDevice;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = links_.find({gwSn, devSn});
        if (it == links_.end() || !it->second.session.toDevice)
            return false;
        toDevice = it->second.session.toDevice;
    }
    return toDevice(bytes);
}

void LinkTable::CloseSession(const std::string& gwSn, const std::string& devSn)
{
    std::function<void()> close;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = links_.find({gwSn, devSn});
        if (it == links_.end())
            return;
        close = it->second.session.close;
    }
    if (close)
        close();
}
