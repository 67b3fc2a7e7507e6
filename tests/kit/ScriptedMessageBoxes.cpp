#include "kit/ScriptedMessageBoxes.h"

#include <utility>

namespace wibblet {

BoxAnswer ScriptedMessageBoxes::Show(const BoxRequest& box)
{
    shown.append(box);
    if (whileOpen)
        whileOpen(box);
    if (!answers.isEmpty())
        return answers.dequeue();
    return box.buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
}

void ScriptedMessageBoxes::Notify(const BoxRequest& box, std::function<void()> closed)
{
    shown.append(box);
    openNotices.append(std::move(closed));
}

void ScriptedMessageBoxes::CloseNotices()
{
    // Taken first: a closing notice may open the next one.
    const QList<std::function<void()>> closing = std::exchange(openNotices, {});
    for (const auto& closed : closing) {
        if (closed)
            closed();
    }
}

} // namespace wibblet
