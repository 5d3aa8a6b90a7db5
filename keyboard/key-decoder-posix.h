// Turns the bytes a terminal sends for one key press into PC console key
// codes. Pure: no I/O and no state, so it can be tested and fuzzed alone.
#ifndef KEY_DECODER_POSIX_H
#define KEY_DECODER_POSIX_H

#include <cstddef>

#include "pc-keys.h"

// The longest key press the decoder waits for; longer input is cut there.
constexpr size_t key_bytes_max = 32;

// Decodes the key press at the start of bytes[0, length) and returns how many
// bytes it takes (at least 1, at most length). Returns 0, and leaves key
// alone, when the bytes are the start of a longer key press and
// more_may_follow is true; with more_may_follow false and length >= 1 it
// never does.
size_t decode_key(const unsigned char *bytes, size_t length, bool more_may_follow, key_codes *key);

// What a byte that comes after a sequence cut at key_bytes_max is to that
// sequence: more of it, its last byte, or no part of it (the next key press).
enum sequence_part { more_of_sequence, end_of_sequence, not_of_sequence };
sequence_part part_of_cut_sequence(unsigned char byte);

#endif
