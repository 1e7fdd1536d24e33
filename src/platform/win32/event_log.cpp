// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reporting a record to the Windows Application log.
#include "platform/win32/event_log.h"

#include <string>
#include <vector>

#include "platform/win32/system_error.h"
#include "platform/win32/wide_text.h"

namespace orvane::win32 {

namespace {

WORD EventType(cli::RecordLevel level) {
    switch (level) {
        case cli::RecordLevel::Info:
            return EVENTLOG_INFORMATION_TYPE;
        case cli::RecordLevel::Warning:
            return EVENTLOG_WARNING_TYPE;
        case cli::RecordLevel::Error:
            return EVENTLOG_ERROR_TYPE;
    }
    return EVENTLOG_ERROR_TYPE;
}

std::string Reason(const SystemError& error) {
    return error.text.empty() ? "error " + std::to_string(error.code) : error.text;
}

}  // namespace

EventLog::~EventLog() {
    if (source_ != nullptr) DeregisterEventSource(source_);
}

std::optional<std::string> EventLog::Write(const cli::OutcomeRecord& record) {
    // A source nobody registered still takes events: Event Viewer then shows
    // the insertion strings without the message's sentence.
    if (source_ == nullptr) source_ = RegisterEventSourceW(nullptr, kEventSource);
    if (source_ == nullptr) return Reason(LastSystemError());
    std::vector<std::wstring> values;
    for (const auto& field : record.fields) values.push_back(Wide(field.second));
    std::vector<LPCWSTR> strings;
    for (const std::wstring& value : values) strings.push_back(value.c_str());
    if (!ReportEventW(source_, EventType(record.level), 0, record.eventId, nullptr,
                      static_cast<WORD>(strings.size()), 0, strings.data(), nullptr))
        return Reason(LastSystemError());
    return std::nullopt;
}

}  // namespace orvane::win32
