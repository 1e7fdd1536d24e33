// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading the command line's arguments.
#include "cli/cli_options.h"

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
        if (optionsOver) return "unexpected argument \"" + std::string(argument) + "\"";
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
        auto missing = [&](std::string what) {
            what = std::string(argument) + " needs " + what;
            if (!optionAfter.empty())
                what += ", not the option \"" + optionAfter +
                        "\" (for a file of that name, write ./" + optionAfter + ")";
            return what;
        };
        const bool takesValue = argument == "--ini" || argument == "--wait" || argument == "--log";
        if (inlineValue && !takesValue)
            return "option " + std::string(argument) + " takes no value";
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
            if (!file || file->empty()) return missing("a file");
            options.logFile = std::move(*file);
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
                return "--wait needs a whole number of seconds, not \"" + *text + "\"";
            options.waitSeconds = seconds;
        } else {
            return "unknown argument \"" + std::string(argument) + "\"";
        }
    }
    if (options.all && options.repeat)
        return std::string("--all and --repeat cannot be used together");
    options.eject = eject.value_or(options.repeat);
    return options;
}

std::string UsageText() {
    return "Usage: orvane-cli [--ini FILE] [--wait SECONDS] [--json] [--repeat | --all]\n"
           "                  [--log FILE] [--eject | --no-eject] [--no-interaction] [--]\n"
           "       orvane-cli --devices [--ini FILE] [--json]\n"
           "       orvane-cli --help | --version\n"
           "Puts a camera's firmware update files onto the camera's own storage.\n"
           "It reads FirmWare.ini, waits for the camera it names, writes the update\n"
           "files to the camera's volume, checks them and puts them in place.\n"
           "\n"
           "  --ini FILE       read FILE (a regular file of at most 64 KiB) instead of\n"
           "                   FirmWare.ini in the working folder; SrcPath is then\n"
           "                   relative to FILE's folder\n"
           "  --wait SECONDS   give up when no camera is ready within SECONDS\n"
           "                   (default: wait for as long as it takes; 0: look once)\n"
           "  --json           one JSON object per line for each event: waiting, found,\n"
           "                   progress, notice, warning, done, failed; the first also\n"
           "                   has \"version\"; done and failed have hardwareId, serial and\n"
           "                   volume. Always UTF-8: bytes of a path that are not UTF-8\n"
           "                   show as U+FFFD, and volumeHex then has its exact bytes\n"
           "  --repeat         update each camera as it arrives, one after another: after\n"
           "                   each, wait for that camera to be unplugged, then for the\n"
           "                   next; Ctrl-C between cameras ends the run\n"
           "  --all            update every matching camera connected, each to its own\n"
           "                   volume, all at once; a camera that fails does not stop\n"
           "                   the others. Cameras connected while the others are\n"
           "                   being updated join in, a fresh one in a port another\n"
           "                   used too\n"
           "  --log FILE       append one line per camera to FILE (time, hardware ID,\n"
           "                   serial number, volume, bytes, seconds, outcome, message,\n"
           "                   warning):\n"
           "                   JSON lines when FILE ends in .json or .jsonl, CSV otherwise\n"
           "                   (a cell that would start a formula gets a leading ').\n"
           "                   A pipe is taken if something reads it, and never waited\n"
           "                   for; a line that cannot be written is said at once\n"
           "  --eject          after a successful update, unmount the camera's volume and\n"
           "                   power the camera off so that it can be unplugged (default\n"
           "                   with --repeat); a failed eject is said, but the update\n"
           "                   stays a success (exit status 0)\n"
           "  --no-eject       leave the camera's volume mounted\n"
           "  --no-interaction never let the system ask for a password (to mount): a\n"
           "                   mount that would need one is refused, and said\n"
           "  --               end of the options\n"
           "  --devices        print what the system shows of its USB devices and their\n"
           "                   storage, and the drive the update would go to, or why\n"
           "                   none; writes nothing. Send it with a bug report\n"
           "  --version        print the version and exit\n"
           "  --help           print this text and exit\n"
           "\n"
           "An option's value may not start with '-': write --log=-x.csv or ./-x.csv.\n"
           "A camera whose volume is not mounted has it mounted through UDisks2, as\n"
           "a file manager does (the system's policy may ask for a password).\n"
           "On a terminal the progress is one line, cut to the terminal's width;\n"
           "with TERM=dumb, into a pipe or a file, it comes as lines.\n"
           "\n"
           "Ctrl-C stops the update before the camera's files are replaced, leaving\n"
           "them as they were; once the replacement has begun it finishes first. A\n"
           "camera that makes no progress for 2 s is said not to answer; Ctrl-C then\n"
           "ends the run within a second, its old files in place. SIGTERM, SIGHUP and\n"
           "SIGQUIT stop it the same way; after the stop the program ends by the signal\n"
           "itself (status 128+n), so that a calling shell loop stops too. Windows\n"
           "ends with 130 for Ctrl-C and Ctrl-Break.\n"
           "\n"
           "Exit status (with --repeat or --all: the most severe of the cameras', in\n"
           "the order 130, 8, 7, 6, 5, 10, 4, 9, 0; with --repeat a wait that ends\n"
           "without a camera ends the run):\n"
           "  0    the update files are on the camera (even where --eject failed after)\n"
           "  2    the command line is wrong, or the log cannot be opened\n"
           "  3    FirmWare.ini is missing, incomplete or not a settings file, or an\n"
           "       update file is missing\n"
           "  4    no camera, or none with storage to write to, within the wait\n"
           "  5    the camera's volume cannot be written to (refused or locked)\n"
           "  6    not enough room on the camera's volume\n"
           "  7    writing, checking or replacing a file failed\n"
           "  8    the camera or its card went away during the update\n"
           "  9    every update went well, but a --log line could not be written\n"
           "  10   --all found several cameras, but the system does not say which\n"
           "       drive is whose: nothing was written\n"
           "  130  stopped by Ctrl-C or a termination signal\n";
}

}  // namespace orvane::cli
