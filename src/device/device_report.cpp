// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The device report as text: written out and read back.
#include "device/device_report.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace orvane {

namespace {

constexpr std::pair<LetterType, std::string_view> kLetterTypes[] = {
    {LetterType::Unknown, "unknown"},     {LetterType::NoRoot, "no-root"},
    {LetterType::Removable, "removable"}, {LetterType::Fixed, "fixed"},
    {LetterType::Remote, "remote"},       {LetterType::CdRom, "cdrom"},
    {LetterType::RamDisk, "ramdisk"}};
constexpr std::pair<MediaState, std::string_view> kMedia[] = {{MediaState::Present, "present"},
                                                              {MediaState::NotReady, "not-ready"},
                                                              {MediaState::NoMedia, "no-media"},
                                                              {MediaState::Unknown, "unknown"}};
constexpr std::pair<int, std::string_view> kBuses[] = {
    {1, "scsi"}, {7, "usb"}, {11, "sata"}, {12, "sd"}, {13, "mmc"}, {14, "virtual"}, {17, "nvme"}};

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == ' ') {
            out += "%20";
        } else if (c == ',') {
            out += "%2C";
        } else if (c == '%') {
            out += "%25";
        } else if (c == '\t' || c == '\n' || c == '\r') {
            out += "%20";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const std::string_view code = text.substr(i + 1, 2);
            if (code == "20" || code == "2C" || code == "2c" || code == "25") {
                out += code == "20" ? ' ' : code == "25" ? '%' : ',';
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::string FactsText(const StorageFacts& facts) {
    if (!facts.answered) return " not-answering";
    std::string text;
    if (facts.number)
        text += " number=" + std::to_string(facts.number->type) + ":" +
                std::to_string(facts.number->number) + ":" +
                std::to_string(facts.number->partition);
    if (facts.lun) text += " lun=" + std::to_string(*facts.lun);
    text += " media=" + std::string(MediaName(facts.media));
    if (facts.bus) text += " bus=" + BusName(*facts.bus);
    if (facts.removable) text += std::string(" removable=") + (*facts.removable ? "yes" : "no");
    return text;
}

// The fields of one line after its kind and its name: key=value and flags.
struct Fields {
    std::map<std::string, std::string, std::less<>> values;
    std::vector<std::string> flags;
    bool Has(std::string_view flag) const {
        return std::find(flags.begin(), flags.end(), flag) != flags.end();
    }
    std::optional<std::string> Get(std::string_view key) const {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
};

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

std::optional<std::string> ReadFacts(const Fields& fields, StorageFacts& facts) {
    if (fields.Has("not-answering")) {
        facts.answered = false;
        return std::nullopt;
    }
    if (auto number = fields.Get("number")) {
        const std::size_t first = number->find(':');
        const std::size_t second = number->find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            return "number= wants type:number:partition";
        auto type = ParseNumber<unsigned>(std::string_view(*number).substr(0, first));
        auto value =
            ParseNumber<unsigned>(std::string_view(*number).substr(first + 1, second - first - 1));
        auto partition = ParseNumber<long>(std::string_view(*number).substr(second + 1));
        if (!type || !value || !partition) return "number= wants type:number:partition";
        facts.number = DeviceNumber{*type, *value, *partition};
    }
    if (auto lun = fields.Get("lun")) {
        facts.lun = ParseNumber<unsigned>(*lun);
        if (!facts.lun) return "lun= wants a number";
    }
    if (auto media = fields.Get("media")) {
        auto it = std::find_if(std::begin(kMedia), std::end(kMedia),
                               [&](const auto& entry) { return entry.second == *media; });
        if (it == std::end(kMedia)) return "unknown media=" + *media;
        facts.media = it->first;
    }
    if (auto bus = fields.Get("bus")) {
        auto it = std::find_if(std::begin(kBuses), std::end(kBuses),
                               [&](const auto& entry) { return entry.second == *bus; });
        facts.bus = it != std::end(kBuses) ? std::optional<int>(it->first) : ParseNumber<int>(*bus);
        if (!facts.bus) return "unknown bus=" + *bus;
    }
    if (auto removable = fields.Get("removable")) facts.removable = *removable == "yes";
    return std::nullopt;
}

bool HasFacts(const Fields& fields) {
    return fields.Has("not-answering") || fields.Get("media") || fields.Get("number");
}

// A folder and the folders above it, up to the root, as the sysfs walk lists them.
std::vector<std::string> FolderAndAbove(std::string folder) {
    std::vector<std::string> folders;
    while (!folder.empty()) {
        folders.push_back(folder);
        if (folder == "/") break;
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos) break;
        folder = slash == 0 ? "/" : folder.substr(0, slash);
    }
    return folders;
}

}  // namespace

std::string_view MediaName(MediaState media) {
    for (const auto& [state, name] : kMedia) {
        if (state == media) return name;
    }
    return "unknown";
}

std::string BusName(int bus) {
    for (const auto& [value, name] : kBuses) {
        if (value == bus) return std::string(name);
    }
    return std::to_string(bus);
}

std::string_view LetterTypeName(LetterType type) {
    for (const auto& [value, name] : kLetterTypes) {
        if (value == type) return name;
    }
    return "unknown";
}

std::string WriteDeviceReport(const DeviceReport& report) {
    std::string text;
    text += std::string("system ") + (report.system == HostSystem::Windows ? "windows" : "linux") +
            "\n";
    if (!report.cameraId.empty()) text += "camera-id " + Escape(report.cameraId) + "\n";
    for (const UsbDevice& device : report.usbDevices) {
        text += "usb " + Escape(device.instance.empty() ? "-" : device.instance);
        if (device.hardwareIds) {
            std::string ids;
            for (const std::string& id : *device.hardwareIds)
                ids += (ids.empty() ? "" : ",") + Escape(id);
            text += " ids=" + ids;
        }
        if (!device.serial.empty()) text += " serial=" + Escape(device.serial);
        text += "\n";
    }
    for (const DeviceReport::Node& node : report.nodes) {
        text += "node " + Escape(node.id);
        if (node.gone) text += " gone";
        if (node.parent) text += " parent=" + Escape(*node.parent);
        text += "\n";
    }
    for (const DeviceReport::Disk& disk : report.disks)
        text += "disk " + Escape(disk.path) + " node=" + Escape(disk.node) +
                (disk.facts ? FactsText(*disk.facts) : "") + "\n";
    for (const DeviceReport::Letter& letter : report.letters) {
        text += "letter " + Escape(letter.letter.letter);
        if (letter.described) text += " type=" + std::string(LetterTypeName(letter.letter.type));
        if (!letter.letter.dosTarget.empty()) text += " target=" + Escape(letter.letter.dosTarget);
        if (letter.facts) text += FactsText(*letter.facts);
        text += "\n";
    }
    for (const StorageDisk& disk : report.layout.disks) {
        text += "block " + Escape(disk.id) + " name=" + Escape(disk.name);
        if (!disk.ancestors.empty()) text += " above=" + Escape(disk.ancestors.front());
        text +=
            " unit=" + std::to_string(disk.unit) + " partition=" + std::to_string(disk.partition);
        if (!disk.hasMedium) text += " no-medium";
        if (!disk.answering) text += " not-answering";
        text += "\n";
    }
    for (const DriveOnDisk& drive : report.layout.drives) {
        text += "mount " + Escape(drive.drive);
        if (!drive.diskId.empty()) text += " on=" + Escape(drive.diskId);
        if (!drive.hasMedium) text += " no-medium";
        if (!drive.answering) text += " not-answering";
        text += "\n";
    }
    for (const std::string& drive : report.destinationOn)
        text += "destination-on " + Escape(drive) + "\n";
    if (report.expect) text += "expect " + *report.expect + "\n";
    return text;
}

std::variant<DeviceReport, std::string> ReadDeviceReport(std::string_view text) {
    DeviceReport report;
    unsigned lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::vector<std::string_view> words = Words(line);
        if (words.empty() || words[0].starts_with("#")) continue;
        const auto fail = [&](const std::string& why) {
            return "line " + std::to_string(lineNumber) + ": " + why;
        };
        const std::string_view kind = words[0];
        if (kind == "expect") {
            // Taken as it stands: a mount point in it may hold blanks.
            if (words.size() < 2) return fail("\"expect\" needs a choice");
            const std::size_t from = static_cast<std::size_t>(words[1].data() - line.data());
            const std::size_t to =
                static_cast<std::size_t>(words.back().data() - line.data()) + words.back().size();
            report.expect = std::string(line.substr(from, to - from));
            continue;
        }
        if (words.size() < 2) return fail("\"" + std::string(kind) + "\" needs a name");
        const std::string name = Unescape(words[1]);
        Fields fields;
        for (std::size_t i = 2; i < words.size(); ++i) {
            const std::size_t equals = words[i].find('=');
            if (equals == std::string_view::npos) {
                fields.flags.emplace_back(words[i]);
            } else {
                fields.values[std::string(words[i].substr(0, equals))] =
                    std::string(words[i].substr(equals + 1));
            }
        }
        if (kind == "system") {
            if (name != "windows" && name != "linux") return fail("unknown system " + name);
            report.system = name == "windows" ? HostSystem::Windows : HostSystem::Linux;
        } else if (kind == "camera-id") {
            report.cameraId = name;
        } else if (kind == "usb") {
            UsbDevice device;
            device.instance = name == "-" ? "" : name;
            if (auto ids = fields.Get("ids")) {
                std::vector<std::string> list;
                for (std::size_t at = 0; at <= ids->size();) {
                    std::size_t comma = ids->find(',', at);
                    if (comma == std::string::npos) comma = ids->size();
                    list.push_back(Unescape(std::string_view(*ids).substr(at, comma - at)));
                    at = comma + 1;
                }
                device.hardwareIds = std::move(list);
            }
            if (auto serial = fields.Get("serial")) device.serial = Unescape(*serial);
            report.usbDevices.push_back(std::move(device));
        } else if (kind == "node") {
            DeviceReport::Node node{name, std::nullopt, fields.Has("gone")};
            if (auto parent = fields.Get("parent")) node.parent = Unescape(*parent);
            report.nodes.push_back(std::move(node));
        } else if (kind == "disk") {
            DeviceReport::Disk disk{name, Unescape(fields.Get("node").value_or("")), std::nullopt};
            if (disk.node.empty()) return fail("a disk needs node=");
            if (HasFacts(fields)) {
                disk.facts.emplace();
                if (auto why = ReadFacts(fields, *disk.facts)) return fail(*why);
            }
            report.disks.push_back(std::move(disk));
        } else if (kind == "letter") {
            DeviceReport::Letter letter;
            letter.letter.letter = name;
            const std::string type = fields.Get("type").value_or("unknown");
            auto it = std::find_if(std::begin(kLetterTypes), std::end(kLetterTypes),
                                   [&](const auto& entry) { return entry.second == type; });
            if (it == std::end(kLetterTypes)) return fail("unknown type=" + type);
            letter.letter.type = it->first;
            letter.letter.dosTarget = Unescape(fields.Get("target").value_or(""));
            letter.described = fields.Get("type").has_value();
            if (HasFacts(fields)) {
                letter.facts.emplace();
                if (auto why = ReadFacts(fields, *letter.facts)) return fail(*why);
            }
            report.letters.push_back(std::move(letter));
        } else if (kind == "block") {
            StorageDisk disk;
            disk.id = name;
            disk.name = Unescape(fields.Get("name").value_or(""));
            if (auto above = fields.Get("above")) disk.ancestors = FolderAndAbove(Unescape(*above));
            auto unit = ParseNumber<unsigned>(fields.Get("unit").value_or("0"));
            auto partition = ParseNumber<unsigned>(fields.Get("partition").value_or("0"));
            if (!unit || !partition) return fail("unit= and partition= want numbers");
            disk.unit = *unit;
            disk.partition = *partition;
            disk.hasMedium = !fields.Has("no-medium");
            disk.answering = !fields.Has("not-answering");
            report.layout.disks.push_back(std::move(disk));
        } else if (kind == "mount") {
            DriveOnDisk drive;
            drive.drive = name;
            drive.diskId = Unescape(fields.Get("on").value_or(""));
            drive.hasMedium = !fields.Has("no-medium");
            drive.answering = !fields.Has("not-answering");
            report.layout.drives.push_back(std::move(drive));
        } else if (kind == "destination-on") {
            report.destinationOn.push_back(name);
        } else {
            return fail("unknown line \"" + std::string(kind) + "\"");
        }
    }
    return report;
}

}  // namespace orvane
