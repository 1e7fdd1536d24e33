// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading the command line's arguments.
#include "cli/cli_options.h"

#include "texts/command_line_texts.h"

#include <charconv>

namespace orvane::cli {

std::string_view StatusName(int status) {
    switch (status) {
        case kSuccess:
            return "success";
        case kUsage:
            return "usage";
        case kBadSettings:
            return "bad-settings";
        case kNoCamera:
            return "no-camera";
        case kDriveRefused:
            return "drive-refused";
        case kNoRoom:
            return "no-room";
        case kWriteFailed:
            return "write-failed";
        case kDisconnected:
            return "disconnected";
        case kLogIncomplete:
            return "log-incomplete";
        case kCamerasUntold:
            return "cameras-untold";
        case kStopped:
            return "stopped";
        default:
            return "other";
    }
}

int MoreSevere(int a, int b) {
    static constexpr int kOrder[] = {kStopped,     kUsage,         kBadSettings,  kDisconnected,
                                     kWriteFailed, kNoRoom,        kDriveRefused, kCamerasUntold,
                                     kNoCamera,    kLogIncomplete, kSuccess};
    for (const int status : kOrder) {
        if (a == status || b == status) return status;
    }
    return a != kSuccess ? a : b;
}

namespace {

bool LooksLikeOption(std::string_view argument) {
    return argument.size() > 1 && argument.front() == '-';
}

}  // namespace

std::variant<Options, std::string> ParseOptions(const std::vector<std::string>& arguments) {
    Options options;
    std::optional<bool> eject;
    bool optionsOver = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        // "--" ends the options; the program takes no other arguments.
        if (optionsOver) return texts::DescribeUnexpectedArgument(argument);
        if (argument == "--") {
            optionsOver = true;
            continue;
        }
        // "--name=value" and "--name value" both work.
        std::optional<std::string> inlineValue;
        if (argument.starts_with("--")) {
            if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
                inlineValue = std::string(argument.substr(equals + 1));
                argument = argument.substr(0, equals);
            }
        }
        // A value that looks like an option is a forgotten value ("--log
        // --json"); "--log=-x" or "./-x" names such a file.
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < arguments.size() && !LooksLikeOption(arguments[i + 1]))
                return arguments[++i];
            return std::nullopt;
        };
        const std::string optionAfter =
            !inlineValue && i + 1 < arguments.size() && LooksLikeOption(arguments[i + 1])
                ? arguments[i + 1]
                : std::string();
        auto missing = [&](std::string_view what) {
            return texts::DescribeMissingValue(argument, what, optionAfter);
        };
        const bool takesValue = argument == "--ini" || argument == "--wait" || argument == "--log";
        if (inlineValue && !takesValue) return texts::DescribeValueNotTaken(argument);
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--devices") {
            options.devices = true;
        } else if (argument == "--repeat") {
            options.repeat = true;
        } else if (argument == "--all") {
            options.all = true;
        } else if (argument == "--no-interaction") {
            options.interactive = false;
        } else if (argument == "--eject" || argument == "--no-eject") {
            eject = argument == "--eject";
        } else if (argument == "--log") {
            std::optional<std::string> file = value();
            if (!file || file->empty()) return missing("a file, journal or eventlog");
            // A file of that name is ./journal.
            if (*file == "journal" || *file == "eventlog") {
                if (options.systemLog) return texts::DescribeSystemLogTwice();
                options.systemLog =
                    *file == "journal" ? SystemLogKind::Journal : SystemLogKind::EventLog;
            } else if (options.logFile) {
                return texts::DescribeLogFileTwice(*options.logFile, *file);
            } else {
                options.logFile = std::move(*file);
            }
        } else if (argument == "--ini") {
            std::optional<std::string> file = value();
            if (!file || file->empty()) return missing("a file");
            options.iniFile = std::move(*file);
        } else if (argument == "--wait") {
            std::optional<std::string> text = value();
            if (!text) return missing("a number of seconds");
            unsigned seconds = 0;
            const char* end = text->data() + text->size();
            auto [stop, error] = std::from_chars(text->data(), end, seconds);
            if (text->empty() || error != std::errc() || stop != end)
                return texts::DescribeWaitNotANumber(*text);
            options.waitSeconds = seconds;
        } else {
            return texts::DescribeUnknownArgument(argument);
        }
    }
    if (options.all && options.repeat) return texts::DescribeAllWithRepeat();
    options.eject = eject.value_or(options.repeat);
    return options;
}

std::string UsageText() {
    return std::string(texts::kCommandLineUsage);
}

}  // namespace orvane::cli
