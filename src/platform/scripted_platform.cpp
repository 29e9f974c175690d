#include "platform/scripted_platform.h"

namespace platform {

Answer ScriptedPlatform::ShowMessageBox(Owner owner, const std::string& text, const std::string& caption,
                                    Buttons buttons, Icon icon) {
    boxes.push_back({owner, text, caption, buttons, icon});
    if (!answers.empty()) {
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return UnansweredBox(buttons);
}

std::string ScriptedPlatform::AskOpenFile(const std::string& initialDirectory, const std::string& initialName,
                                          const std::string& title, const FileFilter& filter) {
    dialogs.push_back({initialDirectory, initialName, title, filter});
    if (fileAnswers.empty()) return {};
    std::string answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::string ScriptedPlatform::AskSaveFile(const SaveRequest& request) {
    saveDialogs.push_back({request.initialDirectory, request.initialName, request.title, request.filter});
    while (!saveAnswers.empty()) {
        std::string answer = saveAnswers.front();
        saveAnswers.pop_front();
        if (answer.empty()) return {};
        answer = WithExtension(answer, request.extensions);
        if (const std::string why = request.refuse ? request.refuse(answer) : std::string(); !why.empty()) {
            refusals.push_back(why);
            continue;
        }
        return answer;
    }
    return {};
}

bool ScriptedPlatform::AskText(const std::string& title, const std::string& prompt, std::string& text) {
    (void)title, (void)prompt;
    if (textAnswers.empty() || !textAnswers.front()) {
        if (!textAnswers.empty()) textAnswers.pop_front();
        return false;
    }
    text = *textAnswers.front();
    textAnswers.pop_front();
    return true;
}

bool ScriptedPlatform::AskForm(const FormRequest& request, std::vector<std::string>& texts) {
    forms.push_back(request);
    std::vector<std::string> shown;
    for (const FormField& f : request.fields) shown.push_back(f.text);
    formTexts.push_back(shown);
    std::vector<FormAction> actions;
    if (!formAnswers.empty()) {
        actions = std::move(formAnswers.front());
        formAnswers.pop_front();
    }
    const auto say = [&](const std::string& why) {
        if (!why.empty()) boxes.push_back({Owner::MainWindow, why, request.title, Buttons::Ok, Icon::Exclamation});
        return why.empty();
    };
    for (const FormAction& a : actions) {
        switch (a.kind) {
            case FormAction::Kind::Type:
                if (a.index < shown.size() && !request.fields[a.index].readOnly) shown[a.index] = a.text;
                break;
            case FormAction::Kind::Press:
                if (a.index < request.buttons.size() && request.buttons[a.index].press) {
                    std::vector<std::string> changed = shown;
                    if (say(request.buttons[a.index].press(changed)) && changed.size() == shown.size()) shown = changed;
                }
                break;
            case FormAction::Kind::Ok:
                if (!say(request.check ? request.check(shown) : std::string())) break;
                texts = shown;
                return true;
            case FormAction::Kind::Cancel: return false;
        }
    }
    return false;
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

ConfigResult ScriptedPlatform::ReadConfigString(const std::string& key, const std::string& value, std::string& out) {
    out.clear();
    const auto k = config.find(key);
    if (k == config.end()) return ConfigResult::NoKey;
    const auto v = k->second.find(value);
    if (v == k->second.end()) return ConfigResult::NoValue;
    out = v->second;
    return ConfigResult::Found;
}

bool ScriptedPlatform::CreateMainWindow(const WindowRequest& request) {
    window = request;
    if (failWindowCreation) return false;
    windowOpen = true;
    for (const MenuItem& top : request.menu)
        for (const MenuItem& item : top.children) {
            if (item.checkable) menuChecks[item.id] = item.checked;
            for (const MenuItem& sub : item.children)
                if (sub.checkable) menuChecks[sub.id] = sub.checked;
        }
    return true;
}

bool ScriptedPlatform::PeekWindowMessage(Message& out) {
    if (messages.empty()) return false;
    out = messages.front();
    messages.pop_front();
    return true;
}

void ScriptedPlatform::PostQuitMessage(int code) {
    quitsPosted.push_back(code);
    Message m;
    m.kind = MessageKind::Quit;
    m.quitCode = code;
    messages.push_back(m);
}

bool ScriptedPlatform::CloseRequested() {
    for (const Message& m : messages)
        if (m.kind == MessageKind::Close || m.kind == MessageKind::Quit) return true;
    return false;
}

bool ScriptedPlatform::KeyPressedSinceLastQuery(int key) { return keysPressed.erase(key) != 0; }

bool ScriptedPlatform::RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) {
    if (fonts) return fonts->RasteriseFont(font, first, count, out);
    out.clear();
    return false;
}

bool ScriptedPlatform::MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) {
    if (fonts) return fonts->MeasureText(font, text, width, height);
    width = height = 0;
    return false;
}

}  // namespace platform
