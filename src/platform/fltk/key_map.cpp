#include "platform/fltk/key_map.h"

#include <FL/Enumerations.H>

#include <iterator>

#include "platform/platform.h"

namespace platform::fltk {

namespace {

struct KeyPair {
    int fltk;
    int vk;
};

// The keys that are not letters, digits, function keys or keypad digits,
// which follow from ranges below. The OEM codes are those of a US layout.
constexpr KeyPair kKeys[] = {
    {FL_BackSpace, vk::kBack},     {FL_Tab, vk::kTab},         {FL_Enter, vk::kReturn},
    {FL_KP_Enter, vk::kReturn},    {FL_Shift_L, vk::kShift},   {FL_Shift_R, vk::kShift},
    {FL_Control_L, vk::kControl},  {FL_Control_R, vk::kControl}, {FL_Alt_L, vk::kMenu},
    {FL_Alt_R, vk::kMenu},         {FL_Pause, vk::kPause},     {FL_Caps_Lock, vk::kCapital},
    {FL_Escape, vk::kEscape},      {' ', vk::kSpace},          {FL_Page_Up, vk::kPrior},
    {FL_Page_Down, vk::kNext},     {FL_End, vk::kEnd},         {FL_Home, vk::kHome},
    {FL_Left, vk::kLeft},          {FL_Up, vk::kUp},           {FL_Right, vk::kRight},
    {FL_Down, vk::kDown},          {FL_Print, 0x2C},           {FL_Insert, vk::kInsert},
    {FL_Delete, vk::kDelete},      {FL_Meta_L, 0x5B},          {FL_Meta_R, 0x5C},
    {FL_Menu, 0x5D},               {FL_KP + '*', 0x6A},        {FL_KP + '+', 0x6B},
    {FL_KP + '-', 0x6D},           {FL_KP + '.', 0x6E},        {FL_KP + '/', 0x6F},
    {FL_Num_Lock, 0x90},           {FL_Scroll_Lock, 0x91},     {';', 0xBA},
    {'=', 0xBB},                   {',', 0xBC},                {'-', 0xBD},
    {'.', 0xBE},                   {'/', 0xBF},                {'`', 0xC0},
    {'[', 0xDB},                   {'\\', 0xDC},               {']', 0xDD},
    {'\'', 0xDE},
};
static_assert(std::size(kKeys) == 46, "a key was added or lost: check the table");

constexpr int kVkNumpad0 = 0x60;
constexpr int kFunctionKeys = 24;  // VK_F1 .. VK_F24

}  // namespace

int VirtualKeyOf(int key) {
    if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
    if (key >= '0' && key <= '9') return key;
    if (key > FL_F && key <= FL_F + kFunctionKeys) return vk::kF1 + (key - FL_F - 1);
    if (key >= FL_KP + '0' && key <= FL_KP + '9') return kVkNumpad0 + (key - FL_KP - '0');
    for (const KeyPair& k : kKeys)
        if (k.fltk == key) return k.vk;
    return 0;
}

std::vector<int> FltkKeysOf(int virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') return {virtualKey - 'A' + 'a'};
    if (virtualKey >= '0' && virtualKey <= '9') return {virtualKey};
    if (virtualKey >= vk::kF1 && virtualKey < vk::kF1 + kFunctionKeys) return {FL_F + 1 + (virtualKey - vk::kF1)};
    if (virtualKey >= kVkNumpad0 && virtualKey <= kVkNumpad0 + 9) return {FL_KP + '0' + (virtualKey - kVkNumpad0)};
    std::vector<int> keys;
    for (const KeyPair& k : kKeys)
        if (k.vk == virtualKey) keys.push_back(k.fltk);
    return keys;
}

}  // namespace platform::fltk
