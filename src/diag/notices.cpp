#include "diag/notices.h"

#include "diag/log.h"
#include "diag/state_registry.h"

NoticeState& TheNotices() {
    static NoticeState state;
    return state;
}

std::string CollectedNoticesText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " more message" : " more messages") +
           " of this level load were not shown. The debug log (debuglog.txt) has them.";
}

void ShowNotice(platform::Owner owner, const std::string& text, const std::string& caption) {
    NoticeState& s = TheNotices();
    platform::Platform& pf = platform::Current();
    if (!s.loading || (s.shown < s.limit && !pf.CloseRequested())) {
        if (s.loading) ++s.shown;
        pf.ShowMessageBox(owner, text, caption, platform::Buttons::Ok, platform::Icon::None);
        return;
    }
    if (s.collected++ == 0) s.owner = owner;
    if (caption.empty()) {
        LogPrintf("\nWARNING: %s", text.c_str());
        DebugPrintf("\nWARNING: %s", text.c_str());
    } else {
        LogPrintf("\nWARNING: %s: %s", caption.c_str(), text.c_str());
        DebugPrintf("\nWARNING: %s: %s", caption.c_str(), text.c_str());
    }
}

void BeginLoadNotices() {
    NoticeState& s = TheNotices();
    s.loading = true;
    s.shown = s.collected = 0;
    s.owner = platform::Owner::None;
}

std::size_t EndLoadNotices() {
    NoticeState& s = TheNotices();
    s.loading = false;
    const std::size_t n = s.collected;
    if (n == 0) return 0;
    const std::string text = CollectedNoticesText(n);
    LogPrintf("\n%s", text.c_str());
    // A user who is leaving has seen enough boxes; the log has the count.
    if (!platform::Current().CloseRequested())
        platform::Current().ShowMessageBox(s.owner, text, "NOTE", platform::Buttons::Ok, platform::Icon::None);
    return n;
}

namespace {
const StateReset kNoticesReset{"notices", StateLayer::Base, StateScope::Process, [] { TheNotices() = NoticeState{}; }};
}  // namespace
