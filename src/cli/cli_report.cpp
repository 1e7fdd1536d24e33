// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Progress lines and JSON events.
#include "cli/cli_report.h"

#include <cmath>
#include <cstdio>

#include "cli/cli_options.h"
#include "texts/texts.h"

namespace orvane::cli {

namespace {

std::string_view PhaseName(TransferPhase phase) {
    switch (phase) {
        case TransferPhase::Preparing:
            return "preparing";
        case TransferPhase::Writing:
            return "writing";
        case TransferPhase::Checking:
            return "checking";
        case TransferPhase::PuttingInPlace:
            return "replacing";
    }
    return "preparing";
}

// Bytes a second so far, once there is something to go by; 0 before.
double Rate(const TransferProgress& progress, double seconds) {
    if (seconds <= 0.0 || progress.done == 0) return 0.0;
    return static_cast<double>(progress.done) / seconds;
}

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A volume's last folder name, which tells cameras apart on one line.
std::string_view ShortName(std::string_view volume) {
    while (volume.size() > 1 && (volume.back() == '/' || volume.back() == '\\'))
        volume.remove_suffix(1);
    const std::size_t slash = volume.find_last_of("/\\");
    if (slash == std::string_view::npos || slash + 1 == volume.size()) return volume;
    return volume.substr(slash + 1);
}

}  // namespace

UpdateFileFacts FactsOfFile(const std::vector<CheckedFile>& files, std::string_view name) {
    for (const CheckedFile& file : files) {
        if (file.name == name) return UpdateFileFacts{HexDigest(file.sha256), file.bytes};
    }
    return {};
}

std::string JsonFileFacts(const UpdateFileFacts& firmware, const UpdateFileFacts& commands) {
    auto members = [](std::string_view name, const UpdateFileFacts& file) {
        const std::string prefix = ",\"" + std::string(name);
        if (!file.bytes) return prefix + "Sha256\":null" + prefix + "Bytes\":null";
        return prefix + "Sha256\":\"" + file.sha256 + "\"" + prefix +
               "Bytes\":" + std::to_string(*file.bytes);
    };
    return members("vorm", firmware) + members("dsccmd", commands);
}

Reporter::Reporter(OutputStyle style, Writer out, Writer err)
    : style_(style), out_(std::move(out)), err_(std::move(err)) {}

std::string Reporter::Named(std::string_view volume, std::string_view text) const {
    if (!nameCameras_ || volume.empty()) return std::string(text);
    return std::string(volume) + ": " + std::string(text);
}

void Reporter::ShowLine(std::string line) {
    // One column short of the width: a line that fills it wraps on some
    // terminals. Counted and cut by characters, never inside one.
    const std::size_t columns = columns_ ? columns_() : 0;
    std::size_t width = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
        if (columns > 1 && width + 1 == columns) {
            line.resize(i);
            break;
        }
        ++width;
    }
    // Blanks cover what a longer line left.
    if (width < lineWidth_) line.append(lineWidth_ - width, ' ');
    out_("\r" + line);
    lineWidth_ = width;
}

void Reporter::EndLine() {
    if (lineWidth_ == 0) return;
    out_("\n");
    lineWidth_ = 0;
}

void Reporter::Waiting(std::string_view message) {
    if (style_ == OutputStyle::Json) {
        Emit("\"event\":\"waiting\",\"message\":" + JsonString(message));
        return;
    }
    EndLine();
    out_(std::string(message) + "\n");
}

void Reporter::Found(std::string_view hardwareId, std::string_view volume) {
    if (style_ == OutputStyle::Json) {
        Emit("\"event\":\"found\",\"hardwareId\":" + JsonString(hardwareId) + "," +
             JsonPath("volume", volume));
        return;
    }
    EndLine();
    out_("Camera " + std::string(hardwareId) + " found; writing to " + std::string(volume) + "\n");
}

void Reporter::Progress(const TransferProgress& progress, double seconds, std::string_view volume) {
    const int percent = PercentDone(progress);
    const double rate = Rate(progress, seconds);
    const bool rateKnown = rate > 0.0;
    const double secondsLeft =
        rateKnown ? static_cast<double>(progress.total - progress.done) / rate : 0.0;

    if (style_ == OutputStyle::Json) {
        std::string event =
            "\"event\":\"progress\",\"phase\":\"" + std::string(PhaseName(progress.phase)) +
            "\",\"file\":" + JsonString(progress.file) + ",\"percent\":" + std::to_string(percent) +
            ",\"bytesDone\":" + std::to_string(progress.done) +
            ",\"bytesTotal\":" + std::to_string(progress.total);
        if (rateKnown)
            event += ",\"megabytesPerSecond\":" + Fixed(rate / 1e6, 2) +
                     ",\"secondsLeft\":" + std::to_string(std::lround(secondsLeft));
        if (nameCameras_) event += "," + JsonPath("volume", volume);
        Emit(event);
        return;
    }

    std::string line = texts::DescribeStep(progress) + "  " + std::to_string(percent) + "%";
    if (rateKnown) {
        const long left = std::lround(secondsLeft);
        char clock[32];
        std::snprintf(clock, sizeof clock, "%ld:%02ld", left / 60, left % 60);
        line += "  " + Fixed(rate / 1e6, 1) + " MB/s  " + clock + " left";
    }

    if (style_ == OutputStyle::Lines) {
        // A line when the step changes and at each tenth, not at every update.
        const int tenth = percent / 10;
        auto [state, added] = lines_.try_emplace(std::string(nameCameras_ ? volume : ""));
        LineState& last = state->second;
        if (!added && progress.phase == last.phase && progress.file == last.file &&
            tenth == last.tenth)
            return;
        last = LineState{tenth, progress.phase, progress.file};
        out_(Named(volume, line) + "\n");
        return;
    }
    if (!nameCameras_) return ShowLine(std::move(line));
    // Several cameras share the line: each its percent and speed.
    std::string mine(ShortName(volume));
    mine.append(" ").append(std::to_string(percent)).append("%");
    if (rateKnown) mine.append(" ").append(Fixed(rate / 1e6, 1)).append(" MB/s");
    cameraLines_[std::string(volume)] = std::move(mine);
    std::string all;
    for (const auto& [name, text] : cameraLines_) {
        if (!all.empty()) all.append("  |  ");
        all.append(text);
    }
    ShowLine(std::move(all));
}

void Reporter::Notice(std::string_view message) {
    if (style_ == OutputStyle::Json) {
        Emit("\"event\":\"notice\",\"message\":" + JsonString(message));
        return;
    }
    EndLine();
    out_(std::string(message) + "\n");
}

void Reporter::Warning(std::string_view message) {
    if (style_ == OutputStyle::Json) {
        Emit("\"event\":\"warning\",\"message\":" + JsonString(message));
        return;
    }
    EndLine();
    err_(std::string(message) + "\n");
}

std::string Reporter::Facts(const CameraFacts& camera) {
    return ",\"hardwareId\":" + JsonString(camera.hardwareId) +
           ",\"serial\":" + JsonString(camera.serial) + "," + JsonPath("volume", camera.volume) +
           JsonFileFacts(camera.firmware, camera.commands);
}

void Reporter::Emit(const std::string& members) {
    // The first event says which shape of events follows.
    const std::string version =
        versionSaid_ ? "" : "\"version\":" + std::to_string(kJsonVersion) + ",";
    versionSaid_ = true;
    out_("{" + version + members + "}\n");
}

void Reporter::Done(const CameraFacts& camera) {
    if (style_ == OutputStyle::Json) {
        Emit("\"event\":\"done\"" + Facts(camera));
        return;
    }
    cameraLines_.erase(camera.volume);
    EndLine();
    out_(Named(camera.volume, "Update success") + "\n");
}

void Reporter::Failed(int status, std::string_view message, const CameraFacts& camera) {
    if (style_ == OutputStyle::Json) {
        Emit("\"event\":\"failed\",\"status\":" + std::to_string(status) + ",\"reason\":\"" +
             std::string(StatusName(status)) + "\",\"message\":" + JsonString(message) +
             Facts(camera));
        return;
    }
    cameraLines_.erase(camera.volume);
    EndLine();
    err_(Named(camera.volume, message) + "\n");
}

}  // namespace orvane::cli
