// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading orvane-cli.exe's events back under Wine.
#include "event_checks.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "cli/cli_system_log.h"
#include "session.h"

namespace orvane::e2e {

namespace {

// Wine's debugstr_w: \\, \", \n, \r, \t, and \XXXX for any other character
// outside printable ASCII; "..." after the quote where it was cut.
std::string Unescape(const std::string& traced) {
    std::wstring text;
    for (std::size_t i = 0; i < traced.size(); ++i) {
        if (traced[i] != '\\' || i + 1 == traced.size()) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(traced[i]));
            continue;
        }
        const char next = traced[++i];
        if (next == 'n') {
            text += L'\n';
        } else if (next == 'r') {
            text += L'\r';
        } else if (next == 't') {
            text += L'\t';
        } else if (std::isxdigit(static_cast<unsigned char>(next)) && i + 3 < traced.size()) {
            text += static_cast<wchar_t>(std::strtoul(traced.substr(i, 4).c_str(), nullptr, 16));
            i += 3;
        } else {
            text += static_cast<wchar_t>(next);
        }
    }
    return Utf8(text);
}

}  // namespace

std::vector<ReportedEvent> ReportedEvents(const std::string& output) {
    std::vector<ReportedEvent> events;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t stub = line.find(":fixme:advapi:ReportEventW (");
        if (stub != std::string::npos) {
            // (handle,0xTTTT,0xCCCC,0xIIIIIIII,...)
            std::istringstream fields(line.substr(line.find('(', stub) + 1));
            std::string handle, type, category, id;
            std::getline(fields, handle, ',');
            std::getline(fields, type, ',');
            std::getline(fields, category, ',');
            std::getline(fields, id, ',');
            events.push_back(
                ReportedEvent{static_cast<unsigned>(std::strtoul(type.c_str(), nullptr, 16)),
                              static_cast<unsigned>(std::strtoul(id.c_str(), nullptr, 16)),
                              {}});
            continue;
        }
        const std::size_t string = line.find(":eventlog:ReportEventW L\"");
        if (string == std::string::npos || events.empty()) continue;
        std::string traced = line.substr(line.find('"', string) + 1);
        if (traced.ends_with("\"...")) traced.resize(traced.size() - 4);
        if (traced.ends_with('"')) traced.pop_back();
        events.back().inserts.push_back(Unescape(traced));
    }
    return events;
}

void ExpectMessageTableOf(const std::string& program) {
    HMODULE module = LoadLibraryExW(Wide(program).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    Expect(module != nullptr, "load " + program + " to read its resources");
    // One record of each outcome; a serial with '=' and what looks like an
    // insert of its own, which neither side expands again.
    std::vector<cli::LogEntry> entries;
    for (const int status : {cli::kSuccess, cli::kSuccess, cli::kBadSettings, cli::kNoCamera,
                             cli::kDriveRefused, cli::kNoRoom, cli::kWriteFailed,
                             cli::kDisconnected, cli::kCamerasUntold, cli::kStopped}) {
        cli::LogEntry entry;
        entry.hardwareId = "USB\\VID_04DA&PID_2372&REV_0100";
        entry.serial = "SN=%1 caf\xC3\xA9";
        entry.volume = "G:";
        entry.bytes = 300023;
        entry.seconds = 4.5;
        entry.status = status;
        entry.firmware = {std::string(64, 'a'), 300001};
        entry.commands = {std::string(64, 'b'), 22};
        if (status != cli::kSuccess) entry.message = "What went wrong.\nWhat to do.";
        if (status == cli::kSuccess && !entries.empty()) entry.warning = "Not ejected (5).";
        entries.push_back(entry);
    }
    for (const cli::LogEntry& entry : entries) {
        const cli::OutcomeRecord record = cli::MakeOutcomeRecord(entry);
        std::vector<std::wstring> values;
        for (const auto& field : record.fields) values.push_back(Wide(field.second));
        std::vector<DWORD_PTR> inserts;
        for (const std::wstring& value : values)
            inserts.push_back(reinterpret_cast<DWORD_PTR>(value.c_str()));
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                FORMAT_MESSAGE_ALLOCATE_BUFFER,
            module, record.eventId, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
            reinterpret_cast<wchar_t*>(&text), 0, reinterpret_cast<va_list*>(inserts.data()));
        const std::string what = "event " + std::to_string(record.eventId);
        Expect(length != 0 && text != nullptr,
               "the message table has " + what + " (error " + std::to_string(GetLastError()) + ")");
        std::string formatted = Utf8(std::wstring(text, length));
        LocalFree(text);
        // A message table's lines end as the system's do; the last one too.
        std::string joined;
        for (const char c : formatted) {
            if (c != '\r') joined += c;
        }
        while (joined.ends_with('\n')) joined.pop_back();
        Expect(joined == record.message,
               what + " reads as the journal's sentence:\n  " + joined + "\n  " + record.message);
    }
    FreeLibrary(module);
    Log("the message table has the journal's sentence for each of " +
        std::to_string(entries.size()) + " outcomes");
}

}  // namespace orvane::e2e
