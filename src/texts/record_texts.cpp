// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The records' sentences, read from the message table's own source.
#include "texts/record_texts.h"

namespace orvane::texts {

namespace {

struct EventText {
    unsigned id;
    const char* text;
};

constexpr EventText kEventTexts[] = {
#include "outcome_events.inc"
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string OutcomeEventText(unsigned id, const std::vector<std::string>& inserts) {
    std::string_view text;
    for (const EventText& event : kEventTexts) {
        if (event.id == id) text = event.text;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'n') {
            out += '\n';
        } else if (IsDigit(next) && next != '0') {
            // Up to two digits, as FormatMessage reads them.
            std::size_t number = static_cast<std::size_t>(next - '0');
            if (i + 1 < text.size() && IsDigit(text[i + 1]))
                number = number * 10 + static_cast<std::size_t>(text[++i] - '0');
            if (number <= inserts.size()) out += inserts[number - 1];
        } else {
            out += next;  // %% and the other escapes stand for the character itself
        }
    }
    return out;
}

namespace {

std::string TheCamera(std::string_view volume) {
    return volume.empty() ? std::string("this camera") : "the camera at " + std::string(volume);
}

}  // namespace

std::string DescribeLogLineLost(std::string_view path, std::string_view reason,
                                std::string_view volume) {
    return "The log " + std::string(path) + " could not be written (" + std::string(reason) +
           "): it has no line for " + TheCamera(volume) + ".";
}

std::string DescribeSystemLogLost(std::string_view log, std::string_view reason,
                                  std::string_view volume) {
    return std::string(log) + " cannot be reached (" + std::string(reason) +
           "): it has no record of " + TheCamera(volume) +
           ". The cameras after it are still recorded where it can be reached again, without a "
           "word more; the run ends with status 9.";
}

std::string DescribeSystemLogUnavailable(bool journal, HostSystem system) {
    if (journal && system == HostSystem::Windows)
        return "--log journal names the systemd journal, which Windows does not have: --log "
               "eventlog writes to the Windows Application log.";
    if (!journal && system == HostSystem::Linux)
        return "--log eventlog names the Windows Application log, which this system does not "
               "have: --log journal writes to the systemd journal.";
    return std::string("This orvane-cli cannot write to ") +
           (journal ? "the systemd journal" : "the Windows Application log") +
           ": --log FILE writes to a file.";
}

}  // namespace orvane::texts
