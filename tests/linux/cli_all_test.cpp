// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// --all on the real Linux back end: several cameras at once, each with its
// session, its volume and its log line.
#include "cli_fixture.h"

namespace orvane::linux_port {
namespace {

// In --all as alone, a refused mount keeps its reason, and its log line.
TEST_F(CommandLine, AllSaysWhyAMountFailedAndLogsIt) {
    PlugCameraNumber(1, false);
    FakeMounter mounter;
    mounter.mount = [] {
        return MountFailure{MountFailure::Kind::NotAuthorised, "Not authorized"};
    };
    const std::string log = tree / "all.csv";
    EXPECT_EQ(Run({"--all", "--wait", "0", "--log", log}, nullptr, &mounter,
                  [] { return std::unique_ptr<SystemPort>(); }),
              cli::kNoCamera);
    EXPECT_NE(err.find("was not authorised (Not authorized)"), std::string::npos) << err;
    const std::string lines = ReadFile(log);
    EXPECT_NE(lines.find(",S1,,0,0.0,no-camera,"), std::string::npos) << lines;
    EXPECT_NE(lines.find("was not authorised"), std::string::npos) << lines;

    // Tried once while it stays; unplugged and back, it is tried again.
    mounter.mounted.clear();
    TestHost host(Roots());
    const std::string port = tree / "sys/bus/usb/devices/2-1";
    const std::string device = tree / "sys/devices/pci0000:00/0000:00:14.0/usb2/2-1";
    host.waitSteps = {[] {}, [&] { std::filesystem::remove(port); },
                      [&] { std::filesystem::create_directory_symlink(device, port); },
                      [&host] { host.RequestStop(); }};
    EXPECT_EQ(Run({"--all"}, &host, &mounter, [] { return std::unique_ptr<SystemPort>(); }),
              cli::kStopped);
    EXPECT_EQ(host.waitStepsTaken, host.waitSteps.size());
    EXPECT_EQ(mounter.mounted.size(), 2u);
}

// Three cameras at once, the third not mounted yet, the second pulled while
// its files are written: it fails alone, the others get both files and are
// ejected, and each has its log line, with every member of its done or
// failed event; the third's eject is refused, which its line keeps.
TEST_F(CommandLine, AllUpdatesEveryCameraAndAPulledOneFailsAlone) {
    std::vector<std::filesystem::path> volumes;
    for (int n = 1; n <= 3; ++n) volumes.push_back(PlugCameraNumber(n, n != 3));
    FakeMounter mounter;
    mounter.mount = [&] {
        MountLater();
        return MountedVolume{"/dev/sdg1", volumes[2].string()};
    };
    mounter.ejectFailure = MountFailure{MountFailure::Kind::NotAuthorised, "no agent"};
    mounter.ejectFailsOn = volumes[2].string();
    tree.Write("media/CAM2/FIRMWARE/vorm.bin", "old image");
    TestHost host(Roots());
    int made = 0;
    auto makeSystem = [&]() -> std::unique_ptr<SystemPort> {
        return std::make_unique<BenchCamera>(host, ++made == 2);
    };
    const std::string log = tree / "all.jsonl";
    EXPECT_EQ(Run({"--all", "--json", "--wait", "0", "--log", log, "--eject"}, &host, &mounter,
                  makeSystem),
              cli::kDisconnected)
        << out;
    EXPECT_EQ(made, 3);
    EXPECT_EQ(mounter.mounted, std::vector<std::string>{"/dev/sdg1"});
    std::sort(mounter.ejected.begin(), mounter.ejected.end());
    EXPECT_EQ(mounter.ejected, (std::vector<std::string>{volumes[0], volumes[2]}));
    for (const std::size_t n : {0u, 2u}) {
        EXPECT_EQ(ReadFile(volumes[n] / "FIRMWARE/vorm.bin"), image);
        EXPECT_EQ(ReadFile(volumes[n] / "FIRMWARE/dsccmd.ini"), "[Update]\nFile=vorm.bin\n");
    }
    EXPECT_EQ(ReadFile(volumes[1] / "FIRMWARE/vorm.bin"), "old image");

    std::map<std::string, QJsonObject> outcome;  // by volume
    for (const QJsonObject& event : JsonEvents(out)) {
        const std::string kind = event["event"].toString().toStdString();
        if (kind == "progress" || kind == "done" || kind == "failed") {
            EXPECT_FALSE(event["volume"].toString().isEmpty()) << kind;
        }
        if (kind == "done" || kind == "failed")
            outcome[event["volume"].toString().toStdString()] = event;
    }
    std::map<std::string, std::string> kinds;
    for (const auto& [volume, event] : outcome)
        kinds[volume] = event["event"].toString().toStdString();
    EXPECT_EQ(kinds, (std::map<std::string, std::string>{{volumes[0].string(), "done"},
                                                         {volumes[1].string(), "failed"},
                                                         {volumes[2].string(), "done"}}));
    const std::vector<QJsonObject> lines = JsonEvents(ReadFile(log));
    EXPECT_EQ(lines.size(), 3u);
    for (const QJsonObject& line : lines) {
        const std::string volume = line["volume"].toString().toStdString();
        SCOPED_TRACE(volume);
        for (const QString& key : outcome[volume].keys())
            EXPECT_EQ(line[key], outcome[volume][key]) << key.toStdString();
        EXPECT_EQ(line["version"], cli::kJsonVersion);
        EXPECT_EQ(line["outcome"].toString(),
                  volume == volumes[1].string() ? "disconnected" : "success");
        if (volume != volumes[1].string()) {
            EXPECT_EQ(line["vormSha256"].toString().toStdString(),
                      Sha256sum(tree / "work/fw/vorm.bin"));
            EXPECT_EQ(line["dsccmdBytes"].toInteger(), 23);
        }
        const std::string warning = line["warning"].toString().toStdString();
        if (volume == volumes[2].string())
            EXPECT_NE(warning.find("Unmounting " + volume +
                                   " through UDisks2 was not authorised (no agent)"),
                      std::string::npos);
        else
            EXPECT_EQ(warning, "");
    }
}

// A camera finished, and a fresh one went into its port while another was
// still being written: the fresh one is a camera of its own, even on the
// volume name the first one had.
TEST_F(CommandLine, AllTakesAFreshCameraInAReusedPort) {
    const std::filesystem::path first = PlugCameraNumber(1);
    PlugCameraNumber(2);
    TestHost host(Roots());
    std::mutex mutex;
    std::condition_variable seen;
    int found = 0;
    onOutput = [&](std::string_view text) {
        if (text.find("\"found\"") != std::string_view::npos) {
            std::lock_guard lock(mutex);
            ++found;
            seen.notify_all();
        }
        if (text.find("\"done\"") == std::string_view::npos ||
            text.find("CAM1") == std::string_view::npos || found > 2)
            return;
        const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb2/2-1";
        tree.Write(device + "/devnum", "9\n");
        tree.Write(device + "/serial", "FRESH\n");
        std::filesystem::remove_all(first / "FIRMWARE");
        host.changed = true;
    };
    int made = 0;
    auto makeSystem = [&]() -> std::unique_ptr<SystemPort> {
        auto bench = std::make_unique<BenchCamera>(host, false);
        // The second camera is still writing when the fresh one comes; a
        // run that never takes it goes on after a while, and fails.
        if (++made == 2)
            bench->onCreate = [&] {
                std::unique_lock lock(mutex);
                seen.wait_for(lock, std::chrono::seconds(20), [&] { return found >= 3; });
            };
        return bench;
    };
    const std::string log = tree / "all.csv";
    EXPECT_EQ(Run({"--all", "--json", "--wait", "0", "--log", log}, &host, nullptr, makeSystem),
              cli::kSuccess)
        << out;
    EXPECT_EQ(made, 3);
    EXPECT_EQ(ReadFile(first / "FIRMWARE/vorm.bin"), image);
    const std::string lines = ReadFile(log);
    EXPECT_NE(lines.find(",FRESH," + first.string() + ","), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 4) << lines;
}

// Where the system does not say which drive is whose, --all updates one
// camera as a run for one does, and refuses two before writing to either.
TEST_F(CommandLine, AllRefusesCamerasItCannotTellApart) {
    TestHost host(Roots());
    host.noParents = true;
    auto makeSystem = [&host]() -> std::unique_ptr<SystemPort> {
        return std::make_unique<BenchCamera>(host, false);
    };
    const std::filesystem::path first = PlugCameraNumber(1);
    EXPECT_EQ(Run({"--all", "--wait", "0"}, &host, nullptr, makeSystem), cli::kSuccess) << err;
    EXPECT_EQ(ReadFile(first / "FIRMWARE/vorm.bin"), image);
    std::filesystem::remove_all(first / "FIRMWARE");

    const std::filesystem::path second = PlugCameraNumber(2);
    EXPECT_EQ(Run({"--all", "--wait", "0"}, &host, nullptr, makeSystem), cli::kCamerasUntold);
    EXPECT_NE(err.find("does not say which drive is whose"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(first / "FIRMWARE"));
    EXPECT_FALSE(std::filesystem::exists(second / "FIRMWARE"));
}

// Ctrl-C while one camera is written and another is not ready yet: the run
// ends as stopped, and the waiting camera is said to be not started.
TEST_F(CommandLine, AStopEndsAllAsStopped) {
    PlugCameraNumber(1);
    PlugCameraNumber(2, false);
    TestHost host(Roots());
    auto makeSystem = [&]() -> std::unique_ptr<SystemPort> {
        auto bench = std::make_unique<BenchCamera>(host, false);
        bench->onCreate = [this, &host] {
            host.RequestStop();
            AwaitStopNotice();
        };
        return bench;
    };
    EXPECT_EQ(Run({"--all", "--json"}, &host, nullptr, makeSystem), cli::kStopped) << out;
    std::vector<std::string> failures;
    for (const QJsonObject& event : JsonEvents(out)) {
        if (event["event"].toString() != "failed") continue;
        EXPECT_EQ(event["status"].toInt(), cli::kStopped);
        failures.push_back(event["message"].toString().toStdString());
    }
    ASSERT_EQ(failures.size(), 2u) << out;
    EXPECT_NE(failures[1].find("was not started"), std::string::npos) << failures[1];
}

// The mended fault: where the system does not say which drive is whose, a
// camera plugged in while another was written took the last drive, which
// was the other's: two "done" events, both on one volume, and the second
// camera untouched. It is refused now, with its line in the log.
TEST_F(CommandLine, AllRefusesACameraThatJoinsWhereNoDriveIsRelatedToItsDevice) {
    TestHost host(Roots());
    host.noParents = true;
    const std::filesystem::path first = PlugCameraNumber(1);
    std::filesystem::path second;
    std::mutex mutex;
    std::condition_variable said;
    bool refused = false;
    onOutput = [&](std::string_view text) {
        if (text.find("does not say which drive is whose") == std::string_view::npos) return;
        std::lock_guard lock(mutex);
        refused = true;
        said.notify_all();
    };
    auto makeSystem = [&]() -> std::unique_ptr<SystemPort> {
        auto bench = std::make_unique<BenchCamera>(host, false);
        // The second camera comes while the first one's files are written.
        bench->onCreate = [&] {
            if (!second.empty()) return;
            second = PlugCameraNumber(2);
            host.changed = true;
            std::unique_lock lock(mutex);
            said.wait_for(lock, std::chrono::seconds(20), [&] { return refused; });
        };
        return bench;
    };
    const std::string log = tree / "all.jsonl";
    EXPECT_EQ(Run({"--all", "--json", "--log", log}, &host, nullptr, makeSystem),
              cli::kCamerasUntold)
        << out;
    EXPECT_EQ(ReadFile(first / "FIRMWARE/vorm.bin"), image);
    EXPECT_FALSE(std::filesystem::exists(second / "FIRMWARE"));
    std::map<std::string, std::string> outcomes;  // by serial
    for (const QJsonObject& line : JsonEvents(ReadFile(log)))
        outcomes[line["serial"].toString().toStdString()] =
            line["outcome"].toString().toStdString();
    EXPECT_EQ(outcomes,
              (std::map<std::string, std::string>{{"S1", "success"}, {"S2", "cameras-untold"}}));
    int done = 0;
    for (const QJsonObject& event : JsonEvents(out)) done += event["event"].toString() == "done";
    EXPECT_EQ(done, 1);
}

// The mended fault: every wake of the run walked the device tree for every
// camera, a transfer's progress included. A walk opens every disk, the
// cameras being written among them: it is done when a camera's storage is
// looked at, at its arrival, a device event or its look interval.
TEST_F(CommandLine, AllWalksTheDeviceTreeOnlyToLookAtACamerasStorage) {
    PlugCameraNumber(1);
    PlugCameraNumber(2);
    TestHost host(Roots());
    auto makeSystem = [&host]() -> std::unique_ptr<SystemPort> {
        return std::make_unique<BenchCamera>(host, false);
    };
    EXPECT_EQ(Run({"--all", "--json", "--wait", "0"}, &host, nullptr, makeSystem), cli::kSuccess)
        << out;
    int progress = 0;
    for (const QJsonObject& event : JsonEvents(out))
        progress += event["event"].toString() == "progress";
    EXPECT_GE(progress, 8);           // each a wake of the run's loop
    EXPECT_EQ(host.walks.load(), 2);  // one look at each camera's storage
}

}  // namespace
}  // namespace orvane::linux_port
