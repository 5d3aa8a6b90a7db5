// The key codes of the PC console, which both keyboard layers give: a
// character key yields its character, a key without one a prefix (0 or 0xE0)
// and a second code that depends on the key and the modifier held with it.
#ifndef PC_KEYS_H
#define PC_KEYS_H

// The codes of one key press. A key that yields a character has one code: the
// character (its Unicode code point when it is not ASCII). A key that yields
// none has two, as on a PC console: the prefix 0 or 0xE0, then the key's code.
struct key_codes {
    int first;
    int second; // -1 for a key with one code
};

// The modifier that decides a key's code; with several held, Ctrl counts
// before Alt, and Alt before Shift.
enum modifier { no_modifier, with_shift, with_ctrl, with_alt, modifier_count };

// The keys without a character; key_up to key_page_down are the cursor and
// editing keys, which the number pad has too.
enum named_key {
    key_up,
    key_down,
    key_right,
    key_left,
    key_home,
    key_end,
    key_insert,
    key_delete,
    key_page_up,
    key_page_down,
    key_f1,
    key_f2,
    key_f3,
    key_f4,
    key_f5,
    key_f6,
    key_f7,
    key_f8,
    key_f9,
    key_f10,
    key_f11,
    key_f12,
    key_back_tab,
    named_key_count
};

// The PC console's codes of a key without a character.
key_codes pc_key_codes(named_key key, modifier held);

// The second code that Alt with this character key gives, after the prefix 0,
// or 0 when the PC keyboard has no such key.
int alt_code(unsigned character);

#endif
