#include "kit/ScriptedMessageBoxes.h"

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

} // namespace wibblet
