#include "app/modder_tools.h"

#include <cstdio>

#include "app/dialogs.h"
#include "app/viewer_tools.h"
#include "diag/log.h"
#include "edit/edits.h"
#include "edit/placement.h"
#include "scene/scene_model.h"

namespace {

constexpr const char* kPlacementTitle = "Placement";

PlacementTexts FirstSix(const std::vector<std::string>& texts) {
    PlacementTexts out;
    for (std::size_t k = 0; k < out.size() && k < texts.size(); ++k) out[k] = texts[k];
    return out;
}

}  // namespace

void PlacementDialog() {
    Instance* inst = TheEdits().selected;
    if (!inst) {
        Tell("No object is selected. Press Escape for selection mode and click an object, or choose one in "
             "View / Objects.",
             kPlacementTitle);
        return;
    }
    const Placement current{inst->position, inst->rotation};
    const PlacementTexts shown = PlacementFields(current);
    platform::FormRequest form;
    form.title = std::string(kPlacementTitle) + " of " + (inst->name ? inst->name : "") + " #" +
                 std::to_string(inst->index);
    const char* labels[6] = {"X", "Y", "Z", "Yaw (degrees)", "Pitch (degrees)", "Roll (degrees)"};
    for (std::size_t k = 0; k < 6; ++k) form.fields.push_back({labels[k], shown[k], false});
    char scale[32];
    std::snprintf(scale, sizeof scale, "%g", static_cast<double>(inst->scale));
    form.fields.push_back({"Scale", scale, true});
    // Copy takes what is typed, checked as OK would check it.
    form.buttons.push_back({"Copy", [current](std::vector<std::string>& texts) {
                                Placement typed;
                                std::string why;
                                if (!ReadPlacement(FirstSix(texts), current, typed, why)) return why;
                                platform::Current().SetClipboardText(PlacementLine(FirstSix(texts)));
                                return std::string();
                            }});
    form.buttons.push_back({"Paste", [](std::vector<std::string>& texts) {
                                PlacementTexts pasted;
                                std::string why;
                                if (!SplitPlacementLine(platform::Current().ClipboardText(), pasted, why)) return why;
                                for (std::size_t k = 0; k < pasted.size() && k < texts.size(); ++k) texts[k] = pasted[k];
                                return std::string();
                            }});
    form.check = [current](const std::vector<std::string>& texts) {
        Placement typed;
        std::string why;
        ReadPlacement(FirstSix(texts), current, typed, why);
        return why;
    };
    std::vector<std::string> texts;
    if (!platform::Current().AskForm(form, texts)) return;
    Placement typed;
    std::string why;
    if (!ReadPlacement(FirstSix(texts), current, typed, why) || !PlaceInstance(*inst, typed)) return;
    LogPrintf("Placed %s #%u at %s\n", inst->name ? inst->name : "", static_cast<unsigned>(inst->index),
              PlacementLine(PlacementFields(typed)).c_str());
    ObjectsChanged();
}
