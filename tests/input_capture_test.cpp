// The pointer is held while flying: focus loss lets go of it, and coming
// back in flying mode takes it again; in selection mode it stays free.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "app/pointer.h"
#include "diag/state_registry.h"
#include "platform/scripted_platform.h"

namespace {

using platform::Message;
using platform::MessageKind;

Message Focus(bool gained) {
    Message m;
    m.kind = gained ? MessageKind::SetFocus : MessageKind::KillFocus;
    return m;
}

TEST(PointerCapture, FollowsFocusWhileFlyingOnly) {
    ResetState(StateScope::Process);
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope(pf);
    SetFlyingMode(true);
    EXPECT_TRUE(pf.mouseCaptured);
    WindowProc(Focus(false));
    EXPECT_FALSE(pf.mouseCaptured);
    WindowProc(Focus(true));
    EXPECT_TRUE(pf.mouseCaptured);

    SetFlyingMode(false);
    EXPECT_FALSE(pf.mouseCaptured);
    WindowProc(Focus(false));
    WindowProc(Focus(true));
    EXPECT_FALSE(pf.mouseCaptured) << "selection mode leaves the pointer free";
    ResetState(StateScope::Process);
}

}  // namespace
