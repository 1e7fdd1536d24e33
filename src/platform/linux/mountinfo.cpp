// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Parsing /proc/self/mountinfo lines.
#include "platform/linux/mountinfo.h"

#include <charconv>
#include <optional>

namespace orvane::linux_port {

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ' || line[at] == '\t') {
            ++at;
            continue;
        }
        std::size_t end = line.find_first_of(" \t", at);
        if (end == std::string_view::npos) end = line.size();
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

std::optional<unsigned> ParseDecimal(std::string_view text) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

bool IsOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

// Fields: id, parent id, major:minor, root, mount point, options, optional
// fields ending with "-", then filesystem type, source and super options.
std::optional<MountEntry> ParseLine(std::string_view line) {
    std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 7) return std::nullopt;
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") ++separator;
    if (separator + 2 >= fields.size()) return std::nullopt;
    if (!ParseDecimal(fields[0]) || !ParseDecimal(fields[1])) return std::nullopt;

    std::string_view device = fields[2];
    std::size_t colon = device.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::optional<unsigned> major = ParseDecimal(device.substr(0, colon));
    std::optional<unsigned> minor = ParseDecimal(device.substr(colon + 1));
    if (!major || !minor) return std::nullopt;

    MountEntry entry;
    entry.root = DecodeMountField(fields[3]);
    entry.mountPoint = DecodeMountField(fields[4]);
    entry.fsType = DecodeMountField(fields[separator + 1]);
    entry.source = DecodeMountField(fields[separator + 2]);
    entry.major = *major;
    entry.minor = *minor;
    return entry;
}

}  // namespace

std::string DecodeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctalDigit(field[i + 1]) &&
            IsOctalDigit(field[i + 2]) && IsOctalDigit(field[i + 3]) && field[i + 1] <= '3') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (std::optional<MountEntry> entry = ParseLine(line)) entries.push_back(std::move(*entry));
    }
    return entries;
}

bool IsBlockDeviceVolume(const MountEntry& entry) {
    // Read-only images (snap packages, live systems) sit on loop devices too,
    // and every package refresh mounts a newer one.
    if (entry.fsType == "squashfs" || entry.fsType == "erofs") return false;
    return entry.source.starts_with("/dev/") && entry.root == "/";
}

}  // namespace orvane::linux_port
