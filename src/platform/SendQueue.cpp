#include "platform/SendQueue.h"

namespace wibblet {

bool SendQueue::MustWait(SendPriority priority) const
{
    return priority == SendPriority::Normal ? !normal_.empty() : !IsEmpty();
}

bool SendQueue::Push(Pending pending, SendPriority priority)
{
    const bool normal = priority == SendPriority::Normal;
    const auto full = [&] {
        return Count() >= maxCount_ || bytes_ + pending.bytes.size() > maxBytes_;
    };
    while (normal && full() && !answers_.empty()) {
        bytes_ -= answers_.front().bytes.size();
        answers_.pop_front();
        ++dropped_;
    }
    if (full()) {
        if (!normal)
            ++dropped_;
        return false;
    }
    bytes_ += pending.bytes.size();
    (normal ? normal_ : answers_).push_back(std::move(pending));
    return true;
}

void SendQueue::PopFront()
{
    std::deque<Pending>& queue = normal_.empty() ? answers_ : normal_;
    bytes_ -= queue.front().bytes.size();
    queue.pop_front();
}

void SendQueue::Clear()
{
    normal_.clear();
    answers_.clear();
    bytes_ = 0;
}

} // namespace wibblet
