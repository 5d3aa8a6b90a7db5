// Fuzz target for the key decoder: any byte stream, decoded from every
// position, as a whole and as the keyboard reads it, a byte at a time.
//
// What must hold:
//   - a call with all the input there takes at least one byte and at most
//     what it was given, so decoding always makes progress;
//   - a key decided while more might still come is the same key, taking the
//     same bytes, as when all the rest is there: reading a byte at a time
//     never cuts a key press short or leaves half a sequence behind;
//   - the bytes a key took, given alone, decode to that same key.
// The decoder is handed an exactly sized copy, so AddressSanitizer catches
// any read past the input.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "key-decoder-posix.h"

namespace {

void require(bool condition)
{
    if (!condition)
        abort();
}

bool same(const key_codes &a, const key_codes &b)
{
    return a.first == b.first && a.second == b.second;
}

// Decodes the bytes as given, in a buffer of exactly their size.
size_t decode_copy(const uint8_t *bytes, size_t length, bool more_may_follow, key_codes *key)
{
    std::vector<unsigned char> copy(bytes, bytes + length);
    return decode_key(copy.data(), copy.size(), more_may_follow, key);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t at = 0;
    while (at < size) {
        const size_t rest = size - at < key_bytes_max ? size - at : key_bytes_max;
        key_codes whole = {-2, -2};
        const size_t taken = decode_copy(data + at, rest, false, &whole);
        require(taken >= 1 && taken <= rest);
        require(whole.first >= 0 && whole.second >= -1);

        // As the keyboard reads: one more byte each time, deciding as soon as it can.
        for (size_t length = 1; length <= rest; ++length) {
            key_codes early = {-2, -2};
            const size_t early_taken = decode_copy(data + at, length, true, &early);
            require(early_taken <= length);
            if (early_taken == 0)
                continue;
            require(early_taken == taken && same(early, whole));
            break;
        }

        key_codes alone = {-2, -2};
        require(decode_copy(data + at, taken, false, &alone) == taken && same(alone, whole));
        at += taken;
    }
    return 0;
}
