#include "platform/ReceiveQueue.h"

namespace wibblet {

bool ReceiveQueue::Push(const char* data, qsizetype size, quint32 from, quint16 fromPort)
{
    if (Count() >= maxCount_ || bytes_ + size > maxBytes_) {
        ++dropped_;
        return false;
    }
    arrivals_.push_back({QByteArray(data, size), from, fromPort});
    bytes_ += size;
    return true;
}

ReceiveQueue::Arrival ReceiveQueue::Pop()
{
    Arrival arrival = std::move(arrivals_.front());
    arrivals_.pop_front();
    bytes_ -= arrival.bytes.size();
    return arrival;
}

void ReceiveQueue::Clear()
{
    arrivals_.clear();
    bytes_ = 0;
}

} // namespace wibblet
