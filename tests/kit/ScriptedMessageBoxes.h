#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <QQueue>

#include <functional>

namespace wibblet {

/// Message boxes for tests: records every box and takes its answers from a
/// queue (an empty queue answers OK or Yes). whileOpen runs as the box is
/// shown, standing in for the events a real modal box lets through.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    BoxAnswer Show(const BoxRequest& box) override;

    QList<BoxRequest> shown;
    QQueue<BoxAnswer> answers;
    std::function<void(const BoxRequest&)> whileOpen;
};

} // namespace wibblet
