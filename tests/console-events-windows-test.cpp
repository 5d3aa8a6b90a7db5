// The Windows keyboard layer's filter of console input events: which events
// are key presses, and the PC console codes they give.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console-events-windows.h"

namespace {

const unsigned key_event = 1;
const unsigned left_alt = 0x02, right_alt = 0x01, left_ctrl = 0x08, shift = 0x10;
const unsigned enhanced = 0x100, num_lock_on = 0x20, caps_lock_on = 0x80;

struct event_case {
    const char *name;
    console_event event;
    int first;
    int second;
};

void PrintTo(const event_case &c, std::ostream *out) { *out << c.name; }

std::vector<event_case> event_cases()
{
    return {
        {"Letter", {key_event, true, 0x41, 'a', 0}, 'a', -1},
        {"LetterWithCapsLock", {key_event, true, 0x41, 'A', caps_lock_on}, 'A', -1},
        {"Enter", {key_event, true, 0x0D, '\r', 0}, 13, -1},
        {"Escape", {key_event, true, 0x1B, 27, 0}, 27, -1},
        {"CtrlC", {key_event, true, 0x43, 3, left_ctrl}, 3, -1},
        {"NonAsciiCharacter", {key_event, true, 0xDE, 0xE9, 0}, 0xE9, -1},
        {"KeyRelease", {key_event, false, 0x41, 'a', 0}, -1, -1},
        {"ShiftAlone", {key_event, true, 0x10, 0, shift}, -1, -1},
        {"CtrlAlone", {key_event, true, 0x11, 0, left_ctrl}, -1, -1},
        {"AltAlone", {key_event, true, 0x12, 0, left_alt}, -1, -1},
        {"CapsLockAlone", {key_event, true, 0x14, 0, caps_lock_on}, -1, -1},
        {"NumLockAlone", {key_event, true, 0x90, 0, num_lock_on | enhanced}, -1, -1},
        {"WindowsKeyAlone", {key_event, true, 0x5B, 0, enhanced}, -1, -1},
        {"MouseEvent", {0x0002, false, 0, 0, 0}, -1, -1},
        {"ResizeEvent", {0x0004, false, 0, 0, 0}, -1, -1},
        {"MenuEvent", {0x0008, false, 0, 0, 0}, -1, -1},
        {"FocusEvent", {0x0010, false, 0, 0, 0}, -1, -1},
        {"Up", {key_event, true, 0x26, 0, enhanced}, 0xE0, 72},
        {"UpOnTheNumberPad", {key_event, true, 0x26, 0, 0}, 0, 72},
        {"ShiftUp", {key_event, true, 0x26, 0, enhanced | shift}, 0xE0, 72},
        {"CtrlUp", {key_event, true, 0x26, 0, enhanced | left_ctrl}, 0xE0, 141},
        {"AltUp", {key_event, true, 0x26, 0, enhanced | left_alt}, 0, 152},
        {"Left", {key_event, true, 0x25, 0, enhanced}, 0xE0, 75},
        {"Delete", {key_event, true, 0x2E, 0, enhanced}, 0xE0, 83},
        {"PageDown", {key_event, true, 0x22, 0, enhanced}, 0xE0, 81},
        {"F1", {key_event, true, 0x70, 0, 0}, 0, 59},
        {"ShiftF1", {key_event, true, 0x70, 0, shift}, 0, 84},
        {"CtrlF10", {key_event, true, 0x79, 0, left_ctrl}, 0, 103},
        {"AltF4", {key_event, true, 0x73, 0, left_alt}, 0, 107},
        {"F11", {key_event, true, 0x7A, 0, 0}, 0xE0, 133},
        {"CtrlF12", {key_event, true, 0x7B, 0, left_ctrl}, 0xE0, 138},
        {"ShiftTab", {key_event, true, 0x09, '\t', shift}, 0, 15},
        {"Tab", {key_event, true, 0x09, '\t', 0}, 9, -1},
        {"AltA", {key_event, true, 0x41, 'a', left_alt}, 0, 30},
        {"Alt1", {key_event, true, 0x31, '1', right_alt}, 0, 120},
        // AltGr is Ctrl with the right Alt; on a German layout AltGr+Q is '@'.
        {"AltGrCharacter", {key_event, true, 0x51, '@', right_alt | left_ctrl}, '@', -1},
    };
}

class ConsoleEvent : public ::testing::TestWithParam<event_case> {};

TEST_P(ConsoleEvent, IsAKeyPressOnlyWhenItYieldsCodes)
{
    unsigned high_surrogate = 0;
    const key_codes codes = console_event_codes(GetParam().event, &high_surrogate);
    EXPECT_EQ(codes.first, GetParam().first);
    EXPECT_EQ(codes.second, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Events, ConsoleEvent, ::testing::ValuesIn(event_cases()),
                         [](const auto &info) { return info.param.name; });

TEST(ConsoleEvents, ASurrogatePairIsOneCharacterOnItsSecondEvent)
{
    unsigned high_surrogate = 0;
    const key_codes first_half =
        console_event_codes({key_event, true, 0, 0xD83D, 0}, &high_surrogate);
    EXPECT_EQ(first_half.first, -1);
    const key_codes second_half =
        console_event_codes({key_event, true, 0, 0xDE00, 0}, &high_surrogate);
    EXPECT_EQ(second_half.first, 0x1F600);
    EXPECT_EQ(second_half.second, -1);
    EXPECT_EQ(high_surrogate, 0u);
}

} // namespace
