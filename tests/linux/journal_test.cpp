// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's records in a real systemd journal: a journald of the
// test's own, in a private mount namespace (journal_test.sh), read back with
// journalctl from its folder, which ORVANE_JOURNAL names ("none": no journal
// runs yet).
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

#include "cli/cli_run.h"
#include "platform/linux/cli_host.h"
#include "platform/linux/journal_log.h"
#include "temp_tree.h"

namespace orvane::linux_port {
namespace {

using testing::ReadFile;
using testing::TempTree;

const char* JournalFolder() {
    const char* folder = std::getenv("ORVANE_JOURNAL");
    return folder != nullptr ? folder : "";
}

std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// A field as journalctl's JSON gives it: a string, or an array of bytes
// where the value is not printable text.
std::string Field(const QJsonObject& entry, const char* name) {
    const QJsonValue value = entry[name];
    if (!value.isArray()) return value.toString().toStdString();
    std::string bytes;
    for (const QJsonValue byte : value.toArray()) bytes += static_cast<char>(byte.toInt());
    return bytes;
}

// The entries orvane-cli wrote for the camera `hardwareId`, once there are
// `count` of them, and a moment more for any beyond: journald takes a moment
// to store what it was sent.
std::vector<QJsonObject> Entries(std::size_t count, const std::string& hardwareId) {
    auto read = [&] {
        std::vector<QJsonObject> entries;
        std::istringstream lines(Output(std::string("journalctl --no-pager -o json -D ") +
                                        JournalFolder() + " SYSLOG_IDENTIFIER=orvane-cli" +
                                        " 'ORVANE_HARDWARE_ID=" + hardwareId + "'"));
        for (std::string line; std::getline(lines, line);)
            entries.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        return entries;
    };
    for (int attempt = 0; attempt < 100 && read().size() < count; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return read();
}

// Two cameras of the same kind, serial numbers SN=1 and SN=2, each with a
// volume of its own, updated by orvane-cli --all with `logs` (--log ...).
class Bench {
  public:
    Bench() {
        tree.Write("work/FirmWare.ini",
                   "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n[SrcPath]\nPath=\\fw\\\n"
                   "[DestPath]\nPath=\\FIRMWARE\\\n");
        // Hashed in several pieces.
        tree.Write("work/fw/vorm.bin", std::string(kImageBytes, '\x7e'));
        tree.Write("work/fw/dsccmd.ini", "[Update]\nFile=vorm.bin\n");
        std::string mounts = "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n";
        for (int n = 1; n <= 2; ++n) {
            const std::string port = "3-" + std::to_string(n);
            const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb3/" + port;
            tree.Write(device + "/idVendor", "1d6c\n");
            tree.Write(device + "/idProduct", "00ab\n");
            tree.Write(device + "/bcdDevice", "0100\n");
            tree.Write(device + "/serial", "SN=" + std::to_string(n) + "\n");
            std::filesystem::create_directories(tree / "sys/bus/usb/devices");
            std::filesystem::create_directory_symlink(tree / device,
                                                      tree / ("sys/bus/usb/devices/" + port));
            const std::string disk = "sd" + std::string(1, static_cast<char>('c' + n));
            const std::string partition = device + "/" + port + ":1.0/host1/block/" + disk;
            tree.Write(partition + "/removable", "1\n");
            tree.MakeFolder(partition + "/" + disk + "1");
            const std::string number = "8:" + std::to_string(16 * (n + 2) + 1);
            std::filesystem::create_directories(tree / "sys/dev/block");
            std::filesystem::create_directory_symlink(tree / (partition + "/" + disk + "1"),
                                                      tree / ("sys/dev/block/" + number));
            mounts += std::to_string(20 + n) + " 1 " + number + " / " +
                      tree.MakeFolder("media/CAM" + std::to_string(n)).string() +
                      " rw - vfat /dev/" + disk + "1 rw\n";
        }
        tree.Write("mountinfo", mounts);
    }

    int Run(std::vector<std::string> logs) {
        std::vector<std::string> arguments = {"--all",  "--wait", "0",
                                              "--json", "--ini",  tree / "work/FirmWare.ini"};
        for (std::string& log : logs) arguments.insert(arguments.end(), {"--log", log});
        auto parsed = cli::ParseOptions(arguments);
        EXPECT_TRUE(std::holds_alternative<cli::Options>(parsed));
        cli::Reporter report(
            cli::OutputStyle::Json, [&](std::string_view text) { out += text; },
            [&](std::string_view text) { out += text; });
        CliHost host({tree / "sys/bus/usb/devices", tree / "mountinfo", tree / "sys/dev/block"});
        // The cameras' made-up device numbers are no mounted volume's: the
        // check that a volume is still its device is left out.
        struct Camera : CameraSystem {
            using CameraSystem::CameraSystem;
            Status HoldVolume(std::string_view) override { return Ok(); }
        };
        JournalLog journal;
        return cli::RunUpdate(
            std::get<cli::Options>(parsed), host, host, report, nullptr,
            [&]() -> std::unique_ptr<SystemPort> { return std::make_unique<Camera>(host); },
            &journal);
    }

    static constexpr std::size_t kImageBytes = (3u << 19) + 5;
    TempTree tree;
    std::string out;
};

class Journal : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(JournalFolder()).empty()) GTEST_SKIP() << "run by journal_test.sh";
        if (std::string(JournalFolder()) == "none") GTEST_SKIP() << "no journal runs yet";
    }
};

// Every field comes back exactly as it was sent, a serial with '=' and a
// line end, a multi-line message and the rank among them.
TEST_F(Journal, EveryFieldComesBackExact) {
    cli::LogEntry entry;
    entry.hardwareId = "USB\\VID_04DA&PID_2372&REV_0100";
    entry.serial = "SN=42\nline two";
    entry.volume = "/media/camera card";
    entry.bytes = 300023;
    entry.seconds = 3.25;
    entry.status = cli::kWriteFailed;
    entry.message = "vorm.bin could not be written.\nThe camera keeps its old files.";
    entry.firmware = {std::string(64, 'f'), 300001};
    const cli::OutcomeRecord record = cli::MakeOutcomeRecord(entry);
    JournalLog journal;
    ASSERT_EQ(journal.Write(record), std::nullopt);

    const std::vector<QJsonObject> entries = Entries(1, entry.hardwareId);
    ASSERT_EQ(entries.size(), 1u);
    const QJsonObject& got = entries[0];
    EXPECT_EQ(Field(got, "MESSAGE"), record.message);
    EXPECT_EQ(Field(got, "PRIORITY"), "3");
    EXPECT_EQ(Field(got, "MESSAGE_ID"), record.messageId);
    for (const auto& [name, value] : record.fields)
        EXPECT_EQ(Field(got, ("ORVANE_" + name).c_str()), value) << name;
    EXPECT_EQ(Field(got, "ORVANE_SERIAL"), "SN=42\nline two");
}

// orvane-cli --all --log journal --log bench.jsonl: one entry per camera,
// each with every field, and the hashes of the JSON lines, which are
// sha256sum's.
TEST_F(Journal, AllCamerasGetAnEntryWithTheHashesOfTheirJsonLines) {
    Bench bench;
    const std::string lines = bench.tree / "bench.jsonl";
    EXPECT_EQ(bench.Run({"journal", lines}), cli::kSuccess) << bench.out;

    std::map<std::string, QJsonObject> byVolume;
    std::istringstream json(ReadFile(lines));
    for (std::string line; std::getline(json, line);) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        byVolume[object["volume"].toString().toStdString()] = object;
    }
    ASSERT_EQ(byVolume.size(), 2u) << ReadFile(lines);
    const std::string vorm =
        Output("sha256sum '" + (bench.tree / "work/fw/vorm.bin") + "'").substr(0, 64);
    const std::vector<QJsonObject> entries = Entries(2, "USB\\VID_1D6C&PID_00AB&REV_0100");
    ASSERT_EQ(entries.size(), 2u);
    for (const QJsonObject& entry : entries) {
        const std::string volume = Field(entry, "ORVANE_VOLUME");
        SCOPED_TRACE(volume);
        ASSERT_EQ(byVolume.count(volume), 1u);
        const QJsonObject& line = byVolume[volume];
        EXPECT_EQ(Field(entry, "PRIORITY"), "6");
        EXPECT_EQ(Field(entry, "ORVANE_OUTCOME"), "success");
        EXPECT_EQ(Field(entry, "ORVANE_SERIAL"), line["serial"].toString().toStdString());
        EXPECT_EQ(Field(entry, "ORVANE_SERIAL").rfind("SN=", 0), 0u);
        EXPECT_EQ(Field(entry, "ORVANE_VORM_SHA256"), vorm);
        EXPECT_EQ(Field(entry, "ORVANE_VORM_SHA256"), line["vormSha256"].toString().toStdString());
        EXPECT_EQ(Field(entry, "ORVANE_DSCCMD_SHA256"),
                  line["dsccmdSha256"].toString().toStdString());
        EXPECT_EQ(Field(entry, "ORVANE_VORM_BYTES"), std::to_string(Bench::kImageBytes));
        EXPECT_EQ(Field(entry, "ORVANE_DSCCMD_BYTES"), "23");
        EXPECT_EQ(Field(entry, "ORVANE_HARDWARE_ID"), "USB\\VID_1D6C&PID_00AB&REV_0100");
        EXPECT_EQ(Field(entry, "ORVANE_STATUS"), "0");
        EXPECT_EQ(Field(entry, "ORVANE_BYTES"), line["bytes"].toVariant().toString().toStdString());
        EXPECT_FALSE(Field(entry, "ORVANE_SECONDS").empty());
        EXPECT_NE(Field(entry, "MESSAGE").find("vorm.bin SHA-256 " + vorm), std::string::npos);
    }
}

// With no journal to reach, that is said once, whatever the number of
// cameras, and a run that went well ends with the log's status.
TEST(JournalUnreachable, IsSaidOnceAndTheRunEndsWithStatus9) {
    if (std::string(JournalFolder()) != "none") GTEST_SKIP() << "run by journal_test.sh";
    Bench bench;
    EXPECT_EQ(bench.Run({"journal"}), cli::kLogIncomplete) << bench.out;
    std::size_t said = 0;
    for (std::size_t at = 0; (at = bench.out.find("cannot be reached", at)) != std::string::npos;
         ++at)
        ++said;
    EXPECT_EQ(said, 1u) << bench.out;
    EXPECT_NE(bench.out.find("The systemd journal cannot be reached ("), std::string::npos);
    EXPECT_EQ(ReadFile(bench.tree / "media/CAM2/FIRMWARE/vorm.bin").size(), Bench::kImageBytes);
}

}  // namespace
}  // namespace orvane::linux_port
