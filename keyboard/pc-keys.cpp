#include "pc-keys.h"

// The PC console's codes for each key: alone, with Shift, with Ctrl, with Alt.
// Each row names its key, and the checks below hold every row at its key's
// place, so that a key added to named_key without its row cannot shift the
// rows after it.
static constexpr struct {
    named_key key;
    key_codes codes[modifier_count];
} pc_codes[] = {
    {key_up, {{0xE0, 72}, {0xE0, 72}, {0xE0, 141}, {0, 152}}},
    {key_down, {{0xE0, 80}, {0xE0, 80}, {0xE0, 145}, {0, 160}}},
    {key_right, {{0xE0, 77}, {0xE0, 77}, {0xE0, 116}, {0, 157}}},
    {key_left, {{0xE0, 75}, {0xE0, 75}, {0xE0, 115}, {0, 155}}},
    {key_home, {{0xE0, 71}, {0xE0, 71}, {0xE0, 119}, {0, 151}}},
    {key_end, {{0xE0, 79}, {0xE0, 79}, {0xE0, 117}, {0, 159}}},
    {key_insert, {{0xE0, 82}, {0xE0, 82}, {0xE0, 146}, {0, 162}}},
    {key_delete, {{0xE0, 83}, {0xE0, 83}, {0xE0, 147}, {0, 163}}},
    {key_page_up, {{0xE0, 73}, {0xE0, 73}, {0xE0, 132}, {0, 153}}},
    {key_page_down, {{0xE0, 81}, {0xE0, 81}, {0xE0, 118}, {0, 161}}},
    {key_f1, {{0, 59}, {0, 84}, {0, 94}, {0, 104}}},
    {key_f2, {{0, 60}, {0, 85}, {0, 95}, {0, 105}}},
    {key_f3, {{0, 61}, {0, 86}, {0, 96}, {0, 106}}},
    {key_f4, {{0, 62}, {0, 87}, {0, 97}, {0, 107}}},
    {key_f5, {{0, 63}, {0, 88}, {0, 98}, {0, 108}}},
    {key_f6, {{0, 64}, {0, 89}, {0, 99}, {0, 109}}},
    {key_f7, {{0, 65}, {0, 90}, {0, 100}, {0, 110}}},
    {key_f8, {{0, 66}, {0, 91}, {0, 101}, {0, 111}}},
    {key_f9, {{0, 67}, {0, 92}, {0, 102}, {0, 112}}},
    {key_f10, {{0, 68}, {0, 93}, {0, 103}, {0, 113}}},
    {key_f11, {{0xE0, 133}, {0xE0, 135}, {0xE0, 137}, {0xE0, 139}}},
    {key_f12, {{0xE0, 134}, {0xE0, 136}, {0xE0, 138}, {0xE0, 140}}},
    {key_back_tab, {{0, 15}, {0, 15}, {0, 148}, {0, 165}}},
};

static constexpr bool every_row_at_its_key()
{
    for (int key = 0; key < named_key_count; ++key)
        if (pc_codes[key].key != key)
            return false;
    return true;
}
static_assert(sizeof pc_codes / sizeof pc_codes[0] == named_key_count, "a row for every key");
static_assert(every_row_at_its_key(), "every row at its key's place");

// Characters of the PC keyboard's main block, unshifted and shifted, with the
// code that Alt and that key give.
static const struct {
    unsigned char plain;
    unsigned char shifted;
    int alt_code;
} main_block_keys[] = {
    {'1', '!', 120},  {'2', '@', 121},  {'3', '#', 122}, {'4', '$', 123},  {'5', '%', 124},
    {'6', '^', 125},  {'7', '&', 126},  {'8', '*', 127}, {'9', '(', 128},  {'0', ')', 129},
    {'-', '_', 130},  {'=', '+', 131},  {'q', 'Q', 16},  {'w', 'W', 17},   {'e', 'E', 18},
    {'r', 'R', 19},   {'t', 'T', 20},   {'y', 'Y', 21},  {'u', 'U', 22},   {'i', 'I', 23},
    {'o', 'O', 24},   {'p', 'P', 25},   {'[', '{', 26},  {']', '}', 27},   {'a', 'A', 30},
    {'s', 'S', 31},   {'d', 'D', 32},   {'f', 'F', 33},  {'g', 'G', 34},   {'h', 'H', 35},
    {'j', 'J', 36},   {'k', 'K', 37},   {'l', 'L', 38},  {';', ':', 39},   {'\'', '"', 40},
    {'`', '~', 41},   {'\\', '|', 43},  {'z', 'Z', 44},  {'x', 'X', 45},   {'c', 'C', 46},
    {'v', 'V', 47},   {'b', 'B', 48},   {'n', 'N', 49},  {'m', 'M', 50},   {',', '<', 51},
    {'.', '>', 52},   {'/', '?', 53},   {' ', ' ', 57},  {'\r', '\r', 28}, {'\t', '\t', 165},
    {0x7F, 0x7F, 14}, {0x08, 0x08, 14}, {0x1B, 0x1B, 1},
};

key_codes pc_key_codes(named_key key, modifier held) { return pc_codes[key].codes[held]; }

int alt_code(unsigned character)
{
    for (const auto &row : main_block_keys)
        if (row.plain == character || row.shifted == character)
            return row.alt_code;
    return 0;
}
