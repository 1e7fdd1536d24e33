// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's own sentences.
#include "texts/command_line_texts.h"

#include "texts/texts.h"

namespace orvane::texts {

std::string DescribeSettingsFolder(std::string_view path) {
    return "The settings file " + std::string(path) + " is a folder, not a file.";
}

std::string DescribeSettingsUnreadable(std::string_view path, const SystemError& error) {
    return "The settings file " + std::string(path) + " could not be read. " +
           DescribeSystemError(error, false);
}

std::string DescribeSettingsTooLarge(std::string_view path, std::uint64_t limitBytes) {
    return "The settings file " + std::string(path) + " is larger than " +
           std::to_string(limitBytes / 1024) + " KiB: it is not a FirmWare.ini.";
}

std::string DescribeSettingsWithoutCamera(std::string_view path) {
    return "The settings file " + std::string(path) +
           " has no PID_VID value in [PID_VID], so no camera can be recognised.";
}

std::string WaitingForDepartureLine() {
    return "Unplug the camera to go on with the next one (Ctrl-C to end).";
}

std::string DescribeAllUnavailable() {
    return "--all is not available here yet: update one camera at a time, or one after another "
           "with --repeat.";
}

std::string DescribeUnexpectedArgument(std::string_view argument) {
    return "unexpected argument \"" + std::string(argument) + "\"";
}

std::string DescribeUnknownArgument(std::string_view argument) {
    return "unknown argument \"" + std::string(argument) + "\"";
}

std::string DescribeMissingValue(std::string_view option, std::string_view what,
                                 std::string_view optionAfter) {
    std::string text = std::string(option) + " needs " + std::string(what);
    if (!optionAfter.empty())
        text += ", not the option \"" + std::string(optionAfter) +
                "\" (for a file of that name, write ./" + std::string(optionAfter) + ")";
    return text;
}

std::string DescribeValueNotTaken(std::string_view option) {
    return "option " + std::string(option) + " takes no value";
}

std::string DescribeWaitNotANumber(std::string_view text) {
    return "--wait needs a whole number of seconds, not \"" + std::string(text) + "\"";
}

std::string DescribeSystemLogTwice() {
    return "--log names the system's log once: journal on Linux, eventlog on Windows";
}

std::string DescribeLogFileTwice(std::string_view first, std::string_view second) {
    return "--log names one file (" + std::string(first) + " and " + std::string(second) +
           " were given); a second --log may name the system's log instead (journal or "
           "eventlog)";
}

std::string DescribeAllWithRepeat() {
    return "--all and --repeat cannot be used together";
}

std::string DescribeLogUnopenable(std::string_view path, std::string_view why) {
    return "The log " + std::string(path) + " cannot be opened for writing (" + std::string(why) +
           ").";
}

std::string DescribeLogUnwritable(std::string_view path, std::string_view why) {
    return "The log " + std::string(path) + " cannot be written (" + std::string(why) + ").";
}

std::string DescribeCannotEject(std::string_view volume) {
    return "This orvane-cli cannot eject the camera: unmount " + std::string(volume) +
           " yourself before you unplug it.";
}

}  // namespace orvane::texts
