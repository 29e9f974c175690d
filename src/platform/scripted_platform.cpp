#include "platform/scripted_platform.h"

namespace platform {

Answer ScriptedPlatform::MessageBox(Owner owner, const std::string& text, const std::string& caption,
                                    Buttons buttons, Icon icon) {
    boxes.push_back({owner, text, caption, buttons, icon});
    if (!answers.empty()) {
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::RetryCancel ? Answer::Cancel : Answer::Ok;
}

void ScriptedPlatform::InfoDialogCreate() {
    infoOpen = true;
    ++infoCreations;
    infoText.clear();
    infoCaret = 0;
}

void ScriptedPlatform::InfoDialogSetText(const std::string& text) {
    infoText = text;
    infoCaret = infoText.size();
}

void ScriptedPlatform::InfoDialogInsertAtCaret(const std::string& text) {
    infoText.insert(infoCaret, text);
    infoCaret += text.size();
}

void ScriptedPlatform::InfoDialogScrollToCaret(std::size_t position) {
    infoCaret = position < infoText.size() ? position : infoText.size();
}

}  // namespace platform
