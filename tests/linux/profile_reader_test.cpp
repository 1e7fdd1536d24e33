// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The private-profile reader, case by case against the rules of the Windows reader.
#include "platform/linux/profile_reader.h"

#include <gtest/gtest.h>

namespace orvane::linux_port {
namespace {

constexpr std::string_view kMissing = "Section not find!";

struct ProfileCase {
    const char* name;
    std::string_view text;
    std::string_view section;
    std::string_view key;
    std::size_t size;
    std::string_view expected;
};

const ProfileCase kCases[] = {
    {"plain value", "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_0102&REV_0100\n", "PID_VID", "PID_VID",
     260, "USB\\VID_1D6C&PID_0102&REV_0100"},
    {"names ignore case", "[srcpath]\nPATH=\\fw\\\n", "SrcPath", "Path", 260, "\\fw\\"},
    {"blanks around names and value", "  [ DestPath ]  \n\t Path  =  \\FW\\  \n", "DestPath",
     "Path", 260, "\\FW\\"},
    {"double quotes removed", "[S]\nk=\"  spaced  \"\n", "S", "k", 260, "  spaced  "},
    {"single quotes removed", "[S]\nk='x'\n", "S", "k", 260, "x"},
    {"unmatched quotes kept", "[S]\nk=\"x'\n", "S", "k", 260, "\"x'"},
    {"a lone quote kept", "[S]\nk=\"\n", "S", "k", 260, "\""},
    {"comment lines skipped", "[S]\n;k=commented\nk=real\n", "S", "k", 260, "real"},
    {"CRLF line ends", "[S]\r\nk=v\r\nj=w\r\n", "S", "j", 260, "w"},
    {"CR-only line ends", "[T]\rk=t\r[S]\rk=v\r", "S", "k", 260, "v"},
    {"CR, LF and CRLF mixed", "[T]\r\nk=t\n[S]\rj=x\n\rk=v\r\n", "S", "k", 260, "v"},
    {"byte-order mark skipped", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", 260, "v"},
    {"last line without line end", "[S]\nk=v", "S", "k", 260, "v"},
    {"first key wins", "[S]\nk=first\nk=second\n", "S", "k", 260, "first"},
    {"repeated section: first key wins", "[S]\nk=first\n[S]\nk=second\n", "S", "k", 260, "first"},
    {"repeated section: only the first is read", "[S]\na=1\n[T]\nk=t\n[S]\nk=second\n", "S", "k",
     260, kMissing},
    {"same key in two sections", "[SrcPath]\nPath=\\src\\\n[DestPath]\nPath=\\dst\\\n", "DestPath",
     "Path", 260, "\\dst\\"},
    {"empty value is not the default", "[DestPath]\nPath=\n", "DestPath", "Path", 260, ""},
    {"missing section", "[Other]\nPath=x\n", "DestPath", "Path", 260, kMissing},
    {"missing key", "[PID_VID]\nVID=x\n", "PID_VID", "PID_VID", 260, kMissing},
    {"key before any section", "Path=x\n[DestPath]\n", "DestPath", "Path", 260, kMissing},
    {"empty file", "", "S", "k", 260, kMissing},
    {"UTF-16 without a byte-order mark", std::string_view("[\0S\0]\0\n\0k\0=\0v\0\n\0", 16), "S",
     "k", 260, kMissing},
    {"binary garbage",
     std::string_view("\x7f"
                      "ELF\x02\x01\0\0[\xff\xfe\x00=\r\x80",
                      16),
     "S", "k", 260, kMissing},
    {"equals sign inside the value", "[S]\nk=a=b\n", "S", "k", 260, "a=b"},
    {"line without equals sign is no key", "[S]\nk\nk=v\n", "S", "k", 260, "v"},
    {"header without closing bracket", "[S\nk=v\n", "S", "k", 260, "v"},
    {"a key name is not a prefix", "[S]\nkey=v\n", "S", "k", 260, kMissing},
    {"value cut to size - 1", "[S]\nk=abcdef\n", "S", "k", 4, "abc"},
    {"default cut to size - 1", "", "S", "k", 8, "Section"},
    {"size 1 leaves room for the NUL only", "[S]\nk=v\n", "S", "k", 1, ""},
    {"size 0 gives nothing", "[S]\nk=v\n", "S", "k", 0, ""},
};

TEST(ProfileReader, FollowsThePlatformRules) {
    for (const ProfileCase& c : kCases) {
        EXPECT_EQ(ReadProfileValue(c.text, c.section, c.key, kMissing, c.size), c.expected)
            << c.name;
    }
}

// As Notepad saves "Unicode": UTF-16 with a byte-order mark; the value comes
// back in UTF-8, cut between characters.
TEST(ProfileReader, Utf16WithByteOrderMarkIsReadAsUtf8) {
    const std::u16string text = u"\uFEFF[DestPath]\r\nPath=\\Caf\u00E9\\\U0001F4F7\r\n";
    std::string little, big;
    for (char16_t unit : text) {
        little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    }
    const std::string expected = "\\Caf\xC3\xA9\\\xF0\x9F\x93\xB7";
    EXPECT_EQ(ReadProfileValue(little, "DestPath", "Path", kMissing, 260), expected);
    EXPECT_EQ(ReadProfileValue(big, "destpath", "PATH", kMissing, 260), expected);
    EXPECT_EQ(ReadProfileValue(little, "DestPath", "Path", kMissing, 6), "\\Caf");
    // An unpaired surrogate and an odd last byte.
    EXPECT_EQ(ReadProfileValue(std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0\x00\xD8x\0!", 19), "S", "k",
                               kMissing, 260),
              "\xEF\xBF\xBDx");
}

TEST(ProfileReader, LongValueKeeps259Characters) {
    std::string text = "[SrcPath]\nPath=" + std::string(300, 'x') + "\n";
    EXPECT_EQ(ReadProfileValue(text, "SrcPath", "Path", kMissing, 260), std::string(259, 'x'));
}

}  // namespace
}  // namespace orvane::linux_port
