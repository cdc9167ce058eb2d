#include "ParkedRelays.h"

#include "TcpConnection.h"

#include <vector>

ParkedRelays::ParkedRelays(Expire expire) : expire_(std::move(expire)), thread_([this] { Run(); }) {}

ParkedRelays::~ParkedRelays()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    for (auto& [key, entry] : parked_)
        entry.parked.target->Close();
}

void ParkedRelays::Park(const Key& key, Parked parked)
{
    std::shared_ptr<TcpConnection> replaced;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry& entry = parked_[key];
        replaced = std::move(entry.parked.target);
        entry.parked = std::move(parked);
        entry.until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kKeepMs);
    }
    if (replaced)
        replaced->Close();
    changed_.notify_all();
}

void ParkedRelays::Want(const Key& key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_.insert(key);
}

bool ParkedRelays::Wanted(const Key& key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return wanted_.count(key) != 0;
}

bool ParkedRelays::Take(const Key& key, const std::string& pcId, int timeoutMs, Parked* out)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool found = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        auto it = parked_.find(key);
        return stopping_ || (it != parked_.end() && it->second.parked.pcId == pcId);
    });
    wanted_.erase(key);
    auto it = parked_.find(key);
    if (!found || it == parked_.end() || it->second.parked.pcId != pcId)
        return false;
    *out = std::move(it->second.parked);
    parked_.erase(it);
    return true;
}

void ParkedRelays::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const auto now = std::chrono::steady_clock::now();
        auto next = now + std::chrono::hours(1);
        std::vector<std::pair<Key, Parked>> expired;
        for (auto it = parked_.begin(); it != parked_.end();) {
            if (it->second.until <= now) {
                expired.emplace_back(it->first, std::move(it->second.parked));
                it = parked_.erase(it);
            } else {
                next = std::min(next, it->second.until);
                ++it;
            }
        }
        if (!expired.empty()) {
            lock.unlock();
            for (auto& [key, parked] : expired)
                expire_(key, parked);
            lock.lock();
            continue;
        }
        changed_.wait_until(lock, next);
    }
}
