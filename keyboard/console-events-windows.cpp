#include "console-events-windows.h"

// Values from the Windows console API.
static const unsigned key_event = 0x0001;
static const unsigned alt_pressed = 0x0001 | 0x0002;  // RIGHT_ALT_PRESSED, LEFT_ALT_PRESSED
static const unsigned ctrl_pressed = 0x0004 | 0x0008; // RIGHT_CTRL_PRESSED, LEFT_CTRL_PRESSED
static const unsigned shift_pressed = 0x0010;         // SHIFT_PRESSED
static const unsigned enhanced_key = 0x0100; // ENHANCED_KEY: the grey keys, not the number pad
static const unsigned virtual_key_tab = 0x09;

static const key_codes no_key_press = {-1, -1};

// Virtual keys that yield no character, and their key.
static const struct {
    unsigned virtual_key;
    named_key key;
} virtual_keys[] = {
    {0x21, key_page_up}, {0x22, key_page_down}, {0x23, key_end},   {0x24, key_home},
    {0x25, key_left},    {0x26, key_up},        {0x27, key_right}, {0x28, key_down},
    {0x2D, key_insert},  {0x2E, key_delete},    {0x70, key_f1},    {0x71, key_f2},
    {0x72, key_f3},      {0x73, key_f4},        {0x74, key_f5},    {0x75, key_f6},
    {0x76, key_f7},      {0x77, key_f8},        {0x78, key_f9},    {0x79, key_f10},
    {0x7A, key_f11},     {0x7B, key_f12},
};

static modifier modifier_held(unsigned control_state)
{
    if ((control_state & ctrl_pressed) != 0)
        return with_ctrl;
    if ((control_state & alt_pressed) != 0)
        return with_alt;
    if ((control_state & shift_pressed) != 0)
        return with_shift;
    return no_modifier;
}

// A character key; UTF-16 surrogate halves are joined into one character.
static key_codes character_codes(unsigned character, unsigned control_state,
                                 unsigned *high_surrogate)
{
    if (character >= 0xD800 && character <= 0xDBFF) {
        *high_surrogate = character;
        return no_key_press;
    }
    const unsigned high = *high_surrogate;
    *high_surrogate = 0;
    if (character >= 0xDC00 && character <= 0xDFFF && high != 0)
        return key_codes{static_cast<int>(0x10000 + ((high - 0xD800) << 10) + (character - 0xDC00)),
                         -1};
    // Alt with a key of the main block gives that key's Alt code. Ctrl with
    // Alt is AltGr on many layouts, and gives the character it shows.
    if (modifier_held(control_state) == with_alt) {
        const int code = alt_code(character);
        if (code != 0)
            return key_codes{0, code};
    }
    return key_codes{static_cast<int>(character), -1};
}

key_codes console_event_codes(const console_event &event, unsigned *high_surrogate)
{
    if (event.event_type != key_event || !event.key_down)
        return no_key_press;
    const modifier held = modifier_held(event.control_state);
    for (const auto &row : virtual_keys)
        if (row.virtual_key == event.virtual_key) {
            key_codes codes = pc_key_codes(row.key, held);
            // The same keys on the number pad, with Num Lock off, have prefix 0.
            if (codes.first == 0xE0 && row.key <= key_page_down &&
                (event.control_state & enhanced_key) == 0)
                codes.first = 0;
            return codes;
        }
    if (event.virtual_key == virtual_key_tab && held == with_shift)
        return pc_key_codes(key_back_tab, no_modifier);
    // Shift, Ctrl, Alt, the lock keys and the Windows keys alone yield no
    // character, and do not count as a key press.
    if (event.character == 0)
        return no_key_press;
    return character_codes(event.character, event.control_state, high_surrogate);
}
