#pragma once

#include <memory>
#include <string>

// Marks a virtual COM pair as in use by one serial tunnel: an exclusive flock() on
// "tunnel<n>.lock" in the pair folder, held for the object's lifetime. Another tunnel,
// in this process or another one of the same user, cannot take it while it is held;
// the kernel lets go when the holder ends, however it ends, so a crashed client never
// leaves a pair blocked. The file itself stays (empty) for the next holder.
class ComPairLock
{
public:
    ~ComPairLock();
    ComPairLock(const ComPairLock&) = delete;
    ComPairLock& operator=(const ComPairLock&) = delete;

    // Takes pair `number` in `folder` without waiting; null when another holder has
    // it or the lock file cannot be made.
    static std::unique_ptr<ComPairLock> TryTake(const std::string& folder, int number);

    int Number() const { return number_; }

private:
    ComPairLock(int fd, int number) : fd_(fd), number_(number) {}

    int fd_ = -1;
    int number_ = 0;
};
