#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <QQueue>

#include <functional>

namespace wibblet {

/// Message boxes for tests: records every box and takes its answers from a
/// queue (an empty queue answers OK or Yes). whileOpen runs as a modal box is
/// shown, standing in for the events a real one lets through. A notice (a
/// Notify box) stays open until the test calls CloseNotices, as a real one
/// stays until the user closes it; a test that never does sees what a user
/// who never looks would.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    BoxAnswer Show(const BoxRequest& box) override;
    void Notify(const BoxRequest& box, std::function<void()> closed) override;
    /// Closes every open notice, oldest first.
    void CloseNotices();

    QList<BoxRequest> shown;
    QQueue<BoxAnswer> answers;
    std::function<void(const BoxRequest&)> whileOpen;
    /// What runs as each open notice closes.
    QList<std::function<void()>> openNotices;
};

} // namespace wibblet
