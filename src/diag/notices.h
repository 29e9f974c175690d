// Modal notices for the user, with a guard against floods: a corrupted
// level can raise hundreds of "Unexpected Wildgrove Event" boxes in one
// load, each of which must be clicked away. During a load the first few
// notices are boxes as usual; the rest go to the debug log and the debug
// output, and one box at the end of the load says how many there were.
// Once the user has asked to close the window, no more boxes are shown.
// Main thread only.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

// Boxes shown per load before the rest are collected.
constexpr std::size_t kLoadNoticeBoxes = 5;

// A modal box with an OK button: always outside a load; during one, while
// fewer than the limit have been shown and no close request waits.
void ShowNotice(platform::Owner owner, const std::string& text, const std::string& caption);

// Owned here; written by ShowNotice and the load's brackets; reset with
// the process's state.
struct NoticeState {
    bool loading = false;
    std::size_t limit = kLoadNoticeBoxes;  // boxes per load; headless loads lift it
    std::size_t shown = 0;                 // boxes of this load
    std::size_t collected = 0;             // notices of this load written only to the log
    platform::Owner owner = platform::Owner::None;  // of the first collected notice
};
NoticeState& TheNotices();

// Brackets a level load. EndLoadNotices shows the summary box when notices
// were collected (unless a close request waits) and returns their number.
void BeginLoadNotices();
std::size_t EndLoadNotices();

// The summary box's text for n collected notices.
std::string CollectedNoticesText(std::size_t n);
