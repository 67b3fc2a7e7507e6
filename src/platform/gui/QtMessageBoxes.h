#pragma once

#include "platform/MessageBoxes.h"

namespace wibblet {

/// Real message boxes (QMessageBox). The box runs its own event loop, so
/// datagrams and timers are still handled while it is open.
class QtMessageBoxes : public MessageBoxes {
public:
    BoxAnswer Show(const BoxRequest& box) override;
};

} // namespace wibblet
