// A private-profile reader of our own, for systems without the Windows one.
#include "platform/linux/profile_reader.h"

#include <optional>

#include "platform/ascii.h"

namespace orvane::linux_port {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

std::string CutToBuffer(std::string_view value, std::size_t size) {
    if (size == 0) return {};
    return std::string(value.substr(0, size - 1));
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());

    bool inSection = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            // Only the first section of the name is consulted; a repetition
            // further down is never read.
            if (inSection) return std::nullopt;
            // A header without its closing bracket still names a section,
            // up to the end of the line.
            std::string_view name = line.substr(1);
            name = name.substr(0, name.find(']'));
            inSection = EqualIgnoringAsciiCase(Trim(name), section);
            continue;
        }
        if (!inSection) continue;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (!EqualIgnoringAsciiCase(Trim(line.substr(0, equals)), key)) continue;
        return Unquote(Trim(line.substr(equals + 1)));
    }
    return std::nullopt;
}

}  // namespace

std::string ReadProfileValue(std::string_view fileText, std::string_view section,
                             std::string_view key, std::string_view fallback, std::size_t size) {
    std::optional<std::string_view> value = FindValue(fileText, section, key);
    return CutToBuffer(value ? *value : fallback, size);
}

}  // namespace orvane::linux_port
