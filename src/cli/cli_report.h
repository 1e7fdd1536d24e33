// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What the command line tells its user: on a terminal one updating progress
// line, otherwise plain lines, or one JSON object per event.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_json.h"
#include "transfer/safe_transfer.h"

namespace orvane::cli {

enum class OutputStyle {
    Terminal,  // progress rewrites one line
    Lines,     // progress as a line now and then, for a log or a pipe
    Json,      // one JSON object per line, on the output only
};

// One update file as the camera was given it: its SHA-256 (lower-case
// hexadecimal) and size as read back from the camera; empty where it was not
// read back whole.
struct UpdateFileFacts {
    std::string sha256;
    std::optional<std::uint64_t> bytes;
};

// The facts of the update file `name` among those read back.
UpdateFileFacts FactsOfFile(const std::vector<CheckedFile>& files, std::string_view name);

// Which camera an outcome is about, and which firmware went onto it; empty
// parts where none is known.
struct CameraFacts {
    std::string hardwareId;
    std::string serial;
    std::string volume;
    UpdateFileFacts firmware;  // vorm.bin
    UpdateFileFacts commands;  // dsccmd.ini
};

// The JSON members of the update files' facts, each after a comma:
// vormSha256, vormBytes, dsccmdSha256, dsccmdBytes (null where not known).
std::string JsonFileFacts(const UpdateFileFacts& firmware, const UpdateFileFacts& commands);

// The shape of the JSON events, given as "version" in the first one; it
// changes when a member changes meaning or goes away, not when one is added.
inline constexpr int kJsonVersion = 1;

class Reporter {
  public:
    using Writer = std::function<void(std::string_view)>;

    // `out` takes the events, `err` the failure messages (JSON goes to `out`).
    Reporter(OutputStyle style, Writer out, Writer err);

    // Several cameras at once: from now on each camera's events name its
    // volume, and the terminal's line shows them all.
    void NameEachCamera() { nameCameras_ = true; }

    // Terminal: the progress line is cut to what `columns` says the
    // terminal's width is (0: not known), so that it never wraps, which
    // would leave each rewrite on a line of its own.
    void LimitWidth(std::function<std::size_t()> columns) { columns_ = std::move(columns); }

    // Something about the wait: a near miss, storage not mounted yet.
    void Waiting(std::string_view message);
    void Found(std::string_view hardwareId, std::string_view volume);
    // `seconds` since the transfer started, for the speed and the time left;
    // `volume` is the camera's, which only several cameras need.
    void Progress(const TransferProgress& progress, double seconds, std::string_view volume = {});
    // A notice while the transfer runs, such as a stop being carried out.
    void Notice(std::string_view message);
    // Something that went wrong without making the outcome a failure, such
    // as a volume left mounted after a successful update.
    void Warning(std::string_view message);
    void Done(const CameraFacts& camera);
    void Failed(int status, std::string_view message, const CameraFacts& camera = {});

  private:
    // Ends an open progress line, so that the next text starts on its own.
    void EndLine();
    // One JSON event of `members`.
    void Emit(const std::string& members);
    static std::string Facts(const CameraFacts& camera);

    // Lines: the last step of one camera that got a line.
    struct LineState {
        int tenth = -1;
        TransferPhase phase = TransferPhase::Preparing;
        std::string file;
    };

    // `text`, after the camera's name when several cameras are updated.
    std::string Named(std::string_view volume, std::string_view text) const;
    // Terminal: rewrites the one progress line with `line`.
    void ShowLine(std::string line);

    OutputStyle style_;
    Writer out_;
    Writer err_;
    bool nameCameras_ = false;
    bool versionSaid_ = false;
    std::function<std::size_t()> columns_;
    std::size_t lineWidth_ = 0;  // of the progress line now shown; 0: none
    std::map<std::string, LineState, std::less<>> lines_;
    std::map<std::string, std::string, std::less<>> cameraLines_;  // Terminal, several cameras
};

}  // namespace orvane::cli
