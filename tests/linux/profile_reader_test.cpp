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

TEST(ProfileReader, LongValueKeeps259Characters) {
    std::string text = "[SrcPath]\nPath=" + std::string(300, 'x') + "\n";
    EXPECT_EQ(ReadProfileValue(text, "SrcPath", "Path", kMissing, 260), std::string(259, 'x'));
}

}  // namespace
}  // namespace orvane::linux_port
