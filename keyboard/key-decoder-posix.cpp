// Terminals send a key without a character as an escape sequence: ESC [ or
// ESC O, optional parameters (the modifier is the second, as in ESC [ 1 ; 5 A
// for Ctrl+Up), and a final byte. This decoder maps those sequences, Alt as an
// ESC before a key, and UTF-8 characters to the codes a PC console gives.

#include "key-decoder-posix.h"
#include "pc-keys.h"

static const unsigned char escape = 0x1B;

// What a sequence becomes when no table below knows it: one key without a
// character, taken whole, so none of its bytes reads as a key of its own.
static const key_codes unknown_key = {0, 0};

// Keys sent as ESC [ or ESC O and a letter; introducer 0 stands for either.
// rxvt sends Shift+arrow as ESC [ a..d and Ctrl+arrow as ESC O a..d.
static const struct {
    unsigned char introducer;
    unsigned char final_byte;
    named_key key;
    modifier implied;
} lettered_keys[] = {
    {0, 'A', key_up, no_modifier},         {0, 'B', key_down, no_modifier},
    {0, 'C', key_right, no_modifier},      {0, 'D', key_left, no_modifier},
    {0, 'H', key_home, no_modifier},       {0, 'F', key_end, no_modifier},
    {0, 'P', key_f1, no_modifier},         {0, 'Q', key_f2, no_modifier},
    {0, 'R', key_f3, no_modifier},         {0, 'S', key_f4, no_modifier},
    {'[', 'Z', key_back_tab, no_modifier}, {'[', 'a', key_up, with_shift},
    {'[', 'b', key_down, with_shift},      {'[', 'c', key_right, with_shift},
    {'[', 'd', key_left, with_shift},      {'O', 'a', key_up, with_ctrl},
    {'O', 'b', key_down, with_ctrl},       {'O', 'c', key_right, with_ctrl},
    {'O', 'd', key_left, with_ctrl},
};

// Keys sent as ESC [ number ~ (VT220 editing and function keys).
static const struct {
    int number;
    named_key key;
} numbered_keys[] = {
    {1, key_home},      {2, key_insert}, {3, key_delete}, {4, key_end},  {5, key_page_up},
    {6, key_page_down}, {7, key_home},   {8, key_end},    {11, key_f1},  {12, key_f2},
    {13, key_f3},       {14, key_f4},    {15, key_f5},    {17, key_f6},  {18, key_f7},
    {19, key_f8},       {20, key_f9},    {21, key_f10},   {23, key_f11}, {24, key_f12},
};

// The final bytes of numbered keys: '~' takes its modifier from the second
// parameter, rxvt's others stand for one.
static const struct {
    unsigned char final_byte;
    modifier implied;
} numbered_finals[] = {{'~', no_modifier}, {'$', with_shift}, {'^', with_ctrl}, {'@', with_ctrl}};

// The Linux console sends F1 to F5 as ESC [ [ A to E.
static const named_key linux_console_keys[] = {key_f1, key_f2, key_f3, key_f4, key_f5};

static bool is_parameter_byte(unsigned char byte) { return byte >= 0x30 && byte <= 0x3F; }

// '$' ends rxvt's Shift sequences, so it is a final byte here, not an intermediate.
static bool is_intermediate_byte(unsigned char byte)
{
    return byte >= 0x20 && byte <= 0x2F && byte != '$';
}

static bool is_final_byte(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || byte == '$';
}

// xterm's modifier parameter is 1 plus the bits 1 Shift, 2 Alt, 4 Ctrl, 8 Meta;
// the PC console has one code per key and modifier, Ctrl before Alt before Shift.
static modifier modifier_of(int parameter)
{
    const int bits = parameter > 1 ? parameter - 1 : 0;
    if ((bits & 4) != 0)
        return with_ctrl;
    if ((bits & (2 | 8)) != 0)
        return with_alt;
    if ((bits & 1) != 0)
        return with_shift;
    return no_modifier;
}

static key_codes codes_of(named_key key, modifier held, bool alt)
{
    if (alt && held != with_ctrl)
        held = with_alt;
    return pc_key_codes(key, held);
}

static key_codes alt_key(unsigned char character)
{
    const int code = alt_code(character);
    return code != 0 ? key_codes{0, code} : unknown_key;
}

// The key of a complete sequence whose parameters are plain numbers.
static key_codes sequence_key(unsigned char introducer, const int parameters[2],
                              int parameter_count, unsigned char final_byte, bool alt)
{
    for (const auto &row : lettered_keys)
        if (row.final_byte == final_byte && (row.introducer == 0 || row.introducer == introducer)) {
            // ESC [ 1 ; 5 A, and from older terminals ESC [ 5 A or ESC O 5 A.
            const int modifier_parameter = parameter_count >= 2 ? parameters[1] : parameters[0];
            const modifier implied =
                row.implied != no_modifier ? row.implied : modifier_of(modifier_parameter);
            return codes_of(row.key, implied, alt);
        }
    if (introducer != '[')
        return unknown_key;
    for (const auto &final_row : numbered_finals) {
        if (final_row.final_byte != final_byte)
            continue;
        for (const auto &row : numbered_keys)
            if (row.number == parameters[0]) {
                const modifier implied = final_row.implied != no_modifier
                                             ? final_row.implied
                                             : modifier_of(parameters[1]);
                return codes_of(row.key, implied, alt);
            }
    }
    return unknown_key;
}

// An X10 mouse report, ESC [ M and three bytes of button and position, which
// can be any bytes at all.
static const size_t mouse_report_length = 6;

static bool is_mouse_report(const unsigned char *bytes, size_t length)
{
    return bytes[1] == '[' && length > 2 && bytes[2] == 'M';
}

// bytes[0] is ESC and bytes[1] '[' or 'O'; alt: an ESC came before them.
static size_t decode_sequence(const unsigned char *bytes, size_t length, bool more_may_follow,
                              bool alt, key_codes *key)
{
    const unsigned char introducer = bytes[1];
    if (is_mouse_report(bytes, length)) {
        // One key press, taken whole, so that none of its bytes reads as a key.
        if (length < mouse_report_length && more_may_follow)
            return 0;
        *key = unknown_key;
        return length < mouse_report_length ? length : mouse_report_length;
    }
    if (introducer == '[' && length > 2 && bytes[2] == '[') {
        if (length == 3 && more_may_follow)
            return 0;
        const unsigned char letter = length > 3 ? bytes[3] : 0;
        if (letter < 'A' || letter > 'E') {
            *key = unknown_key; // and the byte after it is a key of its own
            return 3;
        }
        *key = codes_of(linux_console_keys[letter - 'A'], no_modifier, alt);
        return 4;
    }

    int parameters[2] = {0, 0};
    int parameter_count = 1;
    bool plain_numbers = true;
    size_t at = 2;
    for (; at < length && is_parameter_byte(bytes[at]); ++at) {
        const unsigned char byte = bytes[at];
        if (byte == ';')
            ++parameter_count;
        else if (byte >= '0' && byte <= '9') {
            // Only the key number and the modifier matter; the cap keeps it from overflowing.
            int *parameter = parameter_count <= 2 ? &parameters[parameter_count - 1] : nullptr;
            if (parameter != nullptr && *parameter < 10000)
                *parameter = *parameter * 10 + (byte - '0');
        } else
            plain_numbers = false; // a private marker or sub-parameter: not a key we know
    }
    bool intermediates = false;
    for (; at < length && is_intermediate_byte(bytes[at]); ++at)
        intermediates = true;

    if (at == length && more_may_follow)
        return 0;
    if (at == length || !is_final_byte(bytes[at])) {
        // Cut short, or broken by a byte that cannot be in it: the sequence
        // ends there. ESC [ or ESC O alone was Alt with that character.
        *key = at == 2 ? alt_key(bytes[1]) : unknown_key;
        return at;
    }
    *key = plain_numbers && !intermediates
               ? sequence_key(introducer, parameters, parameter_count, bytes[at], alt)
               : unknown_key;
    return at + 1;
}

// A UTF-8 character is one key; a stray or cut-short byte is taken as it is,
// as a terminal with a single-byte character set sends it.
static size_t decode_utf8(const unsigned char *bytes, size_t length, bool more_may_follow,
                          key_codes *key)
{
    const unsigned char lead = bytes[0];
    const size_t expected = lead >= 0xF0 && lead <= 0xF4   ? 4
                            : lead >= 0xE0 && lead <= 0xEF ? 3
                            : lead >= 0xC2 && lead <= 0xDF ? 2
                                                           : 1;
    int code_point = lead & (0x7F >> expected);
    size_t taken = 1;
    for (; taken < expected; ++taken) {
        if (taken == length) {
            if (more_may_follow)
                return 0;
            break;
        }
        if ((bytes[taken] & 0xC0) != 0x80)
            break;
        code_point = (code_point << 6) | (bytes[taken] & 0x3F);
    }
    *key = key_codes{expected > 1 && taken == expected ? code_point : lead, -1};
    return taken;
}

static size_t decode_escape(const unsigned char *bytes, size_t length, bool more_may_follow,
                            key_codes *key)
{
    if (length == 1) {
        // A lone Escape, unless the rest of a sequence is on its way.
        if (more_may_follow)
            return 0;
        *key = key_codes{escape, -1};
        return 1;
    }
    const unsigned char next = bytes[1];
    if (next == '[' || next == 'O')
        return decode_sequence(bytes, length, more_may_follow, false, key);
    if (next == escape) {
        // Alt with a key that sends a sequence, or Alt+Escape.
        if (length == 2 && more_may_follow)
            return 0;
        if (length > 2 && (bytes[2] == '[' || bytes[2] == 'O')) {
            const size_t taken = decode_sequence(bytes + 1, length - 1, more_may_follow, true, key);
            return taken == 0 ? 0 : taken + 1;
        }
    }
    if (next >= 0x80) {
        // Alt with a character beyond ASCII: no PC code, but one key all the same.
        const size_t taken = decode_utf8(bytes + 1, length - 1, more_may_follow, key);
        if (taken == 0)
            return 0;
        *key = unknown_key;
        return taken + 1;
    }
    *key = alt_key(next);
    return 2;
}

size_t decode_key(const unsigned char *bytes, size_t length, bool more_may_follow, key_codes *key)
{
    if (length == 0)
        return 0;
    if (bytes[0] == escape)
        return decode_escape(bytes, length, more_may_follow, key);
    if (bytes[0] >= 0x80)
        return decode_utf8(bytes, length, more_may_follow, key);
    *key = key_codes{bytes[0], -1};
    return 1;
}

sequence_part part_of_cut_sequence(unsigned char byte)
{
    // Only a sequence with parameters grows past key_bytes_max.
    if (is_parameter_byte(byte) || is_intermediate_byte(byte))
        return more_of_sequence;
    return is_final_byte(byte) ? end_of_sequence : not_of_sequence;
}
