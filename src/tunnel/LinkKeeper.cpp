#include "tunnel/LinkKeeper.h"

#include <QTimer>

#include <algorithm>

LinkKeeper::LinkKeeper(Hooks hooks)
    : hooks_(std::move(hooks)), retry_(std::make_unique<QTimer>()), settle_(std::make_unique<QTimer>())
{
    retry_->setSingleShot(true);
    retry_->setTimerType(Qt::PreciseTimer);
    settle_->setSingleShot(true);
    QObject::connect(retry_.get(), &QTimer::timeout, [this] { Attempt(); });
    QObject::connect(settle_.get(), &QTimer::timeout, [this] { Back(); });
}

LinkKeeper::~LinkKeeper() = default;

void LinkKeeper::Arm(int giveUpMs)
{
    Disarm();
    armed_ = true;
    giveUpMs_ = giveUpMs > 0 ? giveUpMs : kDefaultGiveUpMs;
}

void LinkKeeper::Disarm()
{
    ++generation_;
    armed_ = false;
    lost_ = false;
    settling_ = false;
    delayMs_ = kFirstDelayMs;
    retry_->stop();
    settle_->stop();
}

void LinkKeeper::ConnectionEnded()
{
    if (!armed_) {
        return;
    }
    if (settling_) {
        // The new connection did not hold: one more failed attempt.
        settling_ = false;
        settle_->stop();
        delayMs_ = std::min(delayMs_ * 2, kLongestDelayMs);
        Schedule(delayMs_);
        return;
    }
    if (lost_) {
        return; // an attempt is scheduled already
    }
    lost_ = true;
    since_.start();
    delayMs_ = kFirstDelayMs;
    if (hooks_.report) {
        hooks_.report(false);
    }
    Schedule(delayMs_);
}

void LinkKeeper::BytesArrived()
{
    if (armed_ && settling_) {
        settle_->stop();
        Back();
    }
}

void LinkKeeper::TryNow()
{
    if (armed_ && lost_ && !settling_) {
        retry_->stop();
        retry_->start(0);
    }
}

void LinkKeeper::Schedule(int delayMs)
{
    // The last attempt leaves room before the give-up time; the give-up itself is
    // a timer like any attempt.
    const qint64 left = giveUpMs_ - since_.elapsed();
    retry_->start(static_cast<int>(std::max<qint64>(0, std::min<qint64>(delayMs, left))));
}

void LinkKeeper::Attempt()
{
    if (!armed_ || !lost_ || settling_) {
        return;
    }
    // A timer may fire a little early: the last one is the give-up.
    if (since_.elapsed() + kTimerSlackMs >= giveUpMs_) {
        const std::function<void()> giveUp = hooks_.giveUp;
        Disarm();
        if (giveUp) {
            giveUp();
        }
        return;
    }
    const uint64_t generation = generation_;
    const bool registered = hooks_.attempt && hooks_.attempt();
    if (generation != generation_ || !armed_) {
        return; // stopped or re-armed while connecting
    }
    if (registered) {
        settling_ = true;
        settle_->start(kSettleMs);
        return;
    }
    delayMs_ = std::min(delayMs_ * 2, kLongestDelayMs);
    Schedule(delayMs_);
}

void LinkKeeper::Back()
{
    if (!armed_ || !settling_) {
        return;
    }
    settling_ = false;
    lost_ = false;
    delayMs_ = kFirstDelayMs;
    if (hooks_.report) {
        hooks_.report(true);
    }
}
