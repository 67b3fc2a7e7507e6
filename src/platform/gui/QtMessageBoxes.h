#pragma once

#include "platform/MessageBoxes.h"

namespace wibblet {

/// Real message boxes (QMessageBox). Show's box runs its own event loop, so
/// datagrams and timers are still handled while it is open; Notify's box
/// lives on its own and deletes itself once closed.
class QtMessageBoxes : public MessageBoxes {
public:
    BoxAnswer Show(const BoxRequest& box) override;
    void Notify(const BoxRequest& box, std::function<void()> closed) override;
};

} // namespace wibblet
