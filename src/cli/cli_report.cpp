// Progress lines and JSON events.
#include "cli/cli_report.h"

#include <cmath>
#include <cstdio>

#include "cli/cli_options.h"

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

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

Reporter::Reporter(OutputStyle style, Writer out, Writer err)
    : style_(style), out_(std::move(out)), err_(std::move(err)) {}

void Reporter::EndLine() {
    if (lineWidth_ == 0) return;
    out_("\n");
    lineWidth_ = 0;
}

void Reporter::Waiting(std::string_view message) {
    if (style_ == OutputStyle::Json) {
        out_("{\"event\":\"waiting\",\"message\":" + JsonString(message) + "}\n");
        return;
    }
    EndLine();
    out_(std::string(message) + "\n");
}

void Reporter::Found(std::string_view hardwareId, std::string_view volume) {
    if (style_ == OutputStyle::Json) {
        out_("{\"event\":\"found\",\"hardwareId\":" + JsonString(hardwareId) +
             ",\"volume\":" + JsonString(volume) + "}\n");
        return;
    }
    EndLine();
    out_("Camera " + std::string(hardwareId) + " found; writing to " + std::string(volume) + "\n");
}

void Reporter::Progress(const TransferProgress& progress, double seconds) {
    const int percent = PercentDone(progress);
    const double rate = Rate(progress, seconds);
    const bool rateKnown = rate > 0.0;
    const double secondsLeft =
        rateKnown ? static_cast<double>(progress.total - progress.done) / rate : 0.0;

    if (style_ == OutputStyle::Json) {
        std::string event =
            "{\"event\":\"progress\",\"phase\":\"" + std::string(PhaseName(progress.phase)) +
            "\",\"file\":" + JsonString(progress.file) + ",\"percent\":" + std::to_string(percent) +
            ",\"bytesDone\":" + std::to_string(progress.done) +
            ",\"bytesTotal\":" + std::to_string(progress.total);
        if (rateKnown)
            event += ",\"megabytesPerSecond\":" + Fixed(rate / 1e6, 2) +
                     ",\"secondsLeft\":" + std::to_string(std::lround(secondsLeft));
        out_(event + "}\n");
        return;
    }

    std::string what;
    switch (progress.phase) {
        case TransferPhase::Preparing:
            what = "Preparing";
            break;
        case TransferPhase::Writing:
            what = "Writing " + progress.file;
            break;
        case TransferPhase::Checking:
            what = "Checking " + progress.file;
            break;
        case TransferPhase::PuttingInPlace:
            what = "Putting the files in place";
            break;
    }
    std::string line = what + "  " + std::to_string(percent) + "%";
    if (rateKnown) {
        const long left = std::lround(secondsLeft);
        char clock[32];
        std::snprintf(clock, sizeof clock, "%ld:%02ld", left / 60, left % 60);
        line += "  " + Fixed(rate / 1e6, 1) + " MB/s  " + clock + " left";
    }

    if (style_ == OutputStyle::Lines) {
        // A line when the step changes and at each tenth, not at every update.
        const int tenth = percent / 10;
        if (progress.phase == lastPhase_ && progress.file == lastFile_ && tenth == lastLinePercent_)
            return;
        lastPhase_ = progress.phase;
        lastFile_ = progress.file;
        lastLinePercent_ = tenth;
        out_(line + "\n");
        return;
    }
    // One line, rewritten; blanks cover what a longer line left.
    const std::size_t width = line.size();
    if (line.size() < lineWidth_) line.append(lineWidth_ - line.size(), ' ');
    out_("\r" + line);
    lineWidth_ = width;
}

void Reporter::Notice(std::string_view message) {
    if (style_ == OutputStyle::Json) {
        out_("{\"event\":\"notice\",\"message\":" + JsonString(message) + "}\n");
        return;
    }
    EndLine();
    out_(std::string(message) + "\n");
}

void Reporter::Warning(std::string_view message) {
    if (style_ == OutputStyle::Json) {
        out_("{\"event\":\"warning\",\"message\":" + JsonString(message) + "}\n");
        return;
    }
    EndLine();
    err_(std::string(message) + "\n");
}

void Reporter::Done(std::string_view volume) {
    if (style_ == OutputStyle::Json) {
        out_("{\"event\":\"done\",\"volume\":" + JsonString(volume) + "}\n");
        return;
    }
    EndLine();
    out_("Update success\n");
}

void Reporter::Failed(int status, std::string_view message) {
    if (style_ == OutputStyle::Json) {
        out_("{\"event\":\"failed\",\"status\":" + std::to_string(status) + ",\"reason\":\"" +
             std::string(StatusName(status)) + "\",\"message\":" + JsonString(message) + "}\n");
        return;
    }
    EndLine();
    err_(std::string(message) + "\n");
}

}  // namespace orvane::cli
