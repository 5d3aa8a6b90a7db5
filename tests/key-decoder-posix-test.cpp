// The key decoder: byte sequences as terminals send them, and the PC console
// codes they must come out as.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "key-decoder-posix.h"

namespace {

// ESC is written \033 where a hex digit follows it, which \x1b would swallow.
struct decoder_case {
    const char *name;
    std::string bytes;
    size_t taken;
    int first;
    int second;
};

std::vector<decoder_case> complete_keys()
{
    return {
        {"Letter", "a", 1, 'a', -1},
        {"Enter", "\r", 1, 13, -1},
        {"CtrlC", "\x03", 1, 3, -1},
        {"CtrlZ", "\x1a", 1, 26, -1},
        {"CtrlBackslash", "\x1c", 1, 28, -1},
        {"Backspace", "\x7f", 1, 127, -1},
        {"OnlyTheFirstKeyIsTaken", "ab", 1, 'a', -1},
        {"Up", "\x1b[A", 3, 0xE0, 72},
        {"Down", "\x1b[B", 3, 0xE0, 80},
        {"Right", "\x1b[C", 3, 0xE0, 77},
        {"Left", "\x1b[D", 3, 0xE0, 75},
        {"UpInApplicationMode", "\x1bOA", 3, 0xE0, 72},
        {"Home", "\x1b[H", 3, 0xE0, 71},
        {"End", "\x1bOF", 3, 0xE0, 79},
        {"HomeVt220", "\x1b[1~", 4, 0xE0, 71},
        {"EndVt220", "\x1b[4~", 4, 0xE0, 79},
        {"HomeRxvt", "\x1b[7~", 4, 0xE0, 71},
        {"Insert", "\x1b[2~", 4, 0xE0, 82},
        {"Delete", "\x1b[3~", 4, 0xE0, 83},
        {"PageUp", "\x1b[5~", 4, 0xE0, 73},
        {"PageDown", "\x1b[6~", 4, 0xE0, 81},
        {"F1", "\x1bOP", 3, 0, 59},
        {"F4", "\x1bOS", 3, 0, 62},
        {"F1Vt220", "\x1b[11~", 5, 0, 59},
        {"F5", "\x1b[15~", 5, 0, 63},
        {"F6", "\x1b[17~", 5, 0, 64},
        {"F10", "\x1b[21~", 5, 0, 68},
        {"F11", "\x1b[23~", 5, 0xE0, 133},
        {"F12", "\x1b[24~", 5, 0xE0, 134},
        {"F1LinuxConsole", "\x1b[[A", 4, 0, 59},
        {"F5LinuxConsole", "\x1b[[E", 4, 0, 63},
        {"ShiftTab", "\x1b[Z", 3, 0, 15},
        {"CtrlUp", "\x1b[1;5A", 6, 0xE0, 141},
        {"CtrlDown", "\x1b[1;5B", 6, 0xE0, 145},
        {"CtrlRight", "\x1b[1;5C", 6, 0xE0, 116},
        {"CtrlLeft", "\x1b[1;5D", 6, 0xE0, 115},
        {"CtrlHome", "\x1b[1;5H", 6, 0xE0, 119},
        {"CtrlEnd", "\x1b[1;5F", 6, 0xE0, 117},
        {"CtrlPageUp", "\x1b[5;5~", 6, 0xE0, 132},
        {"CtrlPageDown", "\x1b[6;5~", 6, 0xE0, 118},
        {"CtrlDelete", "\x1b[3;5~", 6, 0xE0, 147},
        {"ShiftUpIsUp", "\x1b[1;2A", 6, 0xE0, 72},
        {"AltUp", "\x1b[1;3A", 6, 0, 152},
        {"MetaUpIsAltUp", "\x1b[1;9A", 6, 0, 152},
        {"CtrlAltUpIsCtrlUp", "\x1b[1;7A", 6, 0xE0, 141},
        {"AltDelete", "\x1b[3;3~", 6, 0, 163},
        {"ShiftF1", "\x1b[1;2P", 6, 0, 84},
        {"CtrlF1", "\x1b[1;5P", 6, 0, 94},
        {"AltF1", "\x1b[1;3P", 6, 0, 104},
        {"ShiftF5", "\x1b[15;2~", 7, 0, 88},
        {"CtrlF10", "\x1b[21;5~", 7, 0, 103},
        {"ShiftF12", "\x1b[24;2~", 7, 0xE0, 136},
        {"CtrlF12", "\x1b[24;5~", 7, 0xE0, 138},
        {"AltF11", "\x1b[23;3~", 7, 0xE0, 139},
        {"CtrlUpOldXterm", "\x1b[5A", 4, 0xE0, 141},
        {"CtrlF1Ss3WithModifier", "\x1bO5P", 4, 0, 94},
        {"ShiftUpRxvt", "\x1b[a", 3, 0xE0, 72},
        {"CtrlUpRxvt", "\x1bOa", 3, 0xE0, 141},
        {"ShiftDeleteRxvt", "\x1b[3$", 4, 0xE0, 83},
        {"CtrlDeleteRxvt", "\x1b[3^", 4, 0xE0, 147},
        {"AltUpRxvt", "\x1b\x1b[A", 4, 0, 152},
        {"AltF1Rxvt", "\x1b\x1bOP", 4, 0, 104},
        {"AltA", "\033a", 2, 0, 30},
        {"AltShiftA", "\033A", 2, 0, 30},
        {"AltZ", "\x1bz", 2, 0, 44},
        {"AltM", "\x1bm", 2, 0, 50},
        {"Alt1", "\0331", 2, 0, 120},
        {"AltEnter", "\x1b\r", 2, 0, 28},
        {"AltBackspace", "\x1b\x7f", 2, 0, 14},
        {"AltWithCtrlKeyIsOneKey", "\x1b\x01", 2, 0, 0},
        {"AltWithNonAsciiIsOneKey", "\x1b\xc3\xa9", 3, 0, 0},
        {"TwoByteUtf8", "\xc3\xa9", 2, 0xE9, -1},
        {"ThreeByteUtf8", "\xe2\x82\xac", 3, 0x20AC, -1},
        {"FourByteUtf8", "\xf0\x9f\x98\x80", 4, 0x1F600, -1},
        {"StrayContinuationByte", "\x80", 1, 0x80, -1},
        {"Utf8BrokenByAscii", "\xe2\x82x", 2, 0xE2, -1},
        {"UnknownFinal", "\x1b[99z", 5, 0, 0},
        {"UnknownNumber", "\x1b[200~", 6, 0, 0},
        {"UnknownSs3", "\x1bOx", 3, 0, 0},
        {"PrivateParameters", "\x1b[<0;12;5M", 10, 0, 0},
        {"Intermediates", "\x1b[1 q", 5, 0, 0},
        {"ManyParameters", "\x1b[1;5;7;9A", 10, 0xE0, 141},
        {"HugeParameterDoesNotOverflow", "\x1b[99999999999999999999~", 23, 0, 0},
        {"LinuxConsoleWithAnUnknownLetter", "\x1b[[x", 3, 0, 0},
        {"BrokenSequenceEndsBeforeTheBreak", "\x1b[1\x03", 3, 0, 0},
        {"BrokenRightAfterBracket", "\x1b[\x03", 2, 0, 26},
        // An X10 mouse report's three bytes can be anything, ESC and '[' included.
        {"MouseReport", "\x1b[M !!", 6, 0, 0},
        {"MouseReportFarRight", "\x1b[M\xe0\xff\x80", 6, 0, 0},
        {"MouseReportOfSequenceBytes", "\x1b[M\x1b[A", 6, 0, 0},
        {"MouseReportThenAKey", "\x1b[M #!x", 6, 0, 0},
        {"AltMouseReport", "\x1b\x1b[M !!", 7, 0, 0},
    };
}

// Key presses that are only decided once no more input can come: each is
// also the start of a longer one.
std::vector<decoder_case> keys_decided_by_the_end_of_input()
{
    return {
        {"LoneEscape", "\x1b", 1, 27, -1},
        {"AltEscape", "\x1b\x1b", 2, 0, 1},
        {"AltBracketCutShort", "\x1b[", 2, 0, 26},
        {"AltOCutShort", "\x1bO", 2, 0, 24},
        {"LatinOneByteCutShort", "\xe9", 1, 0xE9, -1},
        {"CutShortSequence", "\x1b[1;5", 5, 0, 0},
        {"CutShortLinuxConsole", "\x1b[[", 3, 0, 0},
        {"CutShortMouseReport", "\x1b[M !", 5, 0, 0},
    };
}

void PrintTo(const decoder_case &c, std::ostream *out) { *out << c.name; }

class DecodeComplete : public ::testing::TestWithParam<decoder_case> {};

TEST_P(DecodeComplete, TakesTheWholeKeyPressAndGivesItsCodes)
{
    const auto &key_case = GetParam();
    const auto *bytes = reinterpret_cast<const unsigned char *>(key_case.bytes.data());
    key_codes key = {-2, -2};
    EXPECT_EQ(decode_key(bytes, key_case.bytes.size(), false, &key), key_case.taken);
    EXPECT_EQ(key.first, key_case.first);
    EXPECT_EQ(key.second, key_case.second);
}

INSTANTIATE_TEST_SUITE_P(Keys, DecodeComplete, ::testing::ValuesIn(complete_keys()),
                         [](const auto &info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(KeysAtTheEndOfInput, DecodeComplete,
                         ::testing::ValuesIn(keys_decided_by_the_end_of_input()),
                         [](const auto &info) { return info.param.name; });

// While the rest may still come, a key press begun must wait for it; a
// complete one must not.
TEST(DecodeKey, WaitsForTheRestOfAKeyPressOnlyWhileItIsIncomplete)
{
    for (const std::string incomplete :
         {"\x1b", "\x1b[", "\x1bO", "\x1b[1", "\x1b[1;", "\x1b[1;5", "\x1b[[", "\x1b\x1b",
          "\x1b\x1b[", "\x1b\x1b[1;", "\xc3", "\xe2\x82", "\xf0\x9f\x98", "\x1b\xc3", "\x1b[M",
          "\x1b[M ", "\x1b[M\x1b["}) {
        key_codes key = {-2, -2};
        EXPECT_EQ(decode_key(reinterpret_cast<const unsigned char *>(incomplete.data()),
                             incomplete.size(), true, &key),
                  0u)
            << "bytes of length " << incomplete.size();
        EXPECT_EQ(key.first, -2) << "an incomplete key leaves the codes alone";
    }
    for (const auto &key_case : complete_keys()) {
        key_codes key = {-2, -2};
        EXPECT_EQ(decode_key(reinterpret_cast<const unsigned char *>(key_case.bytes.data()),
                             key_case.bytes.size(), true, &key),
                  key_case.taken)
            << key_case.name;
    }
}

TEST(DecodeKey, NoBytesAreNoKey)
{
    key_codes key = {-2, -2};
    EXPECT_EQ(decode_key(nullptr, 0, false, &key), 0u);
    EXPECT_EQ(key.first, -2);
}

TEST(DecodeKey, AnOverlongSequenceIsCutAtTheLimitAndTakenWhole)
{
    const std::string bytes = "\x1b[" + std::string(key_bytes_max - 2, '1');
    key_codes key = {-2, -2};
    EXPECT_EQ(decode_key(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), false,
                         &key),
              bytes.size());
    EXPECT_EQ(key.first, 0);
    EXPECT_EQ(key.second, 0);
}

// The reader drops the rest of a cut sequence up to its final byte, and keeps
// the first byte that cannot belong to it as the next key press.
TEST(DecodeKey, TellsWhatAByteAfterACutSequenceIsToIt)
{
    const struct {
        unsigned char byte;
        sequence_part part;
    } cases[] = {
        {'0', more_of_sequence}, {'9', more_of_sequence}, {';', more_of_sequence},
        {'<', more_of_sequence}, {' ', more_of_sequence}, {'~', end_of_sequence},
        {'A', end_of_sequence},  {'$', end_of_sequence},  {'@', end_of_sequence},
        {0x1B, not_of_sequence}, {0x03, not_of_sequence}, {'\r', not_of_sequence},
        {0x7F, not_of_sequence}, {0xC3, not_of_sequence},
    };
    for (const auto &c : cases)
        EXPECT_EQ(part_of_cut_sequence(c.byte), c.part) << "byte " << static_cast<int>(c.byte);
}

} // namespace
