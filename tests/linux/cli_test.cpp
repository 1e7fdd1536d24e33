// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line on the real Linux back end, from FirmWare.ini to the two
// files on the "camera": exit statuses, near misses, and the events it
// reports, for one camera and one after another; and the program itself.
#include "cli_fixture.h"

namespace orvane::linux_port {
namespace {

TEST_F(CommandLine, NoCameraWithoutWaitingFailsAtOnce) {
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("No camera with the hardware ID usb\\vid_1d6c&pid_00ab&rev_0100"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("revision"), std::string::npos);  // a mouse is no near miss

    EXPECT_EQ(Run({"--wait=0", "--json"}), cli::kNoCamera);
    const std::vector<QJsonObject> events = JsonEvents(out);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["event"].toString(), "failed");
    EXPECT_EQ(events[0]["status"].toInt(), cli::kNoCamera);
    EXPECT_EQ(events[0]["reason"].toString(), "no-camera");
}

TEST_F(CommandLine, NearMissesAreNamed) {
    AddUsb("1-2", "1d6c", "00ab", "0200");  // the camera, already updated
    AddUsb("1-3", "1d6c", "00ac", "0100");  // the same maker's camera in another USB mode
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("reports revision 0200"), std::string::npos) << err;
    EXPECT_NE(err.find("for revision 0100"), std::string::npos);
    EXPECT_NE(err.find("may already be updated"), std::string::npos);
    EXPECT_NE(err.find("USB\\VID_1D6C&PID_00AC&REV_0100"), std::string::npos);
    EXPECT_NE(err.find("USB mode"), std::string::npos);

    // A setting without the revision part matches nothing, and says so.
    tree.Write("work/FirmWare.ini",
               "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB\n[SrcPath]\n"
               "Path=\\fw\\\n[DestPath]\nPath=\\FIRMWARE\\\n");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("has no revision part"), std::string::npos) << err;
}

TEST_F(CommandLine, ACameraWhoseVolumeIsNotMountedIsNamed) {
    PlugCamera(false);
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("/dev/sdc1 is not mounted"), std::string::npos) << err;
    EXPECT_NE(err.find("run orvane-cli again"), std::string::npos);
}

TEST_F(CommandLine, WritesBothFilesAndReportsEachEvent) {
    PlugCamera();
    tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
    EXPECT_EQ(Run({"--json", "--wait", "0"}), cli::kSuccess) << out;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
    EXPECT_EQ(CameraFile("dsccmd.ini"), "[Update]\nFile=vorm.bin\n");

    const std::vector<QJsonObject> events = JsonEvents(out);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front()["event"].toString(), "found");
    EXPECT_EQ(events.front()["volume"].toString().toStdString(), camera.string());
    EXPECT_EQ(events.back()["event"].toString(), "done");
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i]["event"].toString(), "progress");
        EXPECT_LE(events[i]["bytesDone"].toDouble(), events[i]["bytesTotal"].toDouble());
    }
    EXPECT_EQ(events[events.size() - 2]["percent"].toInt(), 100);
}

TEST_F(CommandLine, TheIniFilesFolderIsTheBaseOfSrcPath) {
    PlugCamera();
    std::filesystem::rename(tree / "work", tree / "update");
    tree.MakeFolder("elsewhere");
    std::filesystem::current_path(tree / "elsewhere");
    EXPECT_EQ(Run({"--ini", "../update/FirmWare.ini", "--wait", "0"}), cli::kSuccess) << err;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
}

TEST_F(CommandLine, CameraPluggedInWhileWaitingIsUpdated) {
    TestHost host(Roots());
    host.onWait = [this] { PlugCamera(); };
    EXPECT_EQ(Run({}, &host), cli::kSuccess) << err;
    EXPECT_NE(out.find("Waiting for the camera"), std::string::npos) << out;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
}

TEST_F(CommandLine, BadSettingsExitWithTheirOwnStatus) {
    PlugCamera();
    std::filesystem::remove(tree / "work/FirmWare.ini");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kBadSettings);
    EXPECT_NE(err.find("FirmWare.ini could not be read"), std::string::npos) << err;

    tree.Write("work/FirmWare.ini", "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kBadSettings);
    EXPECT_NE(err.find("[SrcPath] and [DestPath]"), std::string::npos) << err;

    tree.Write("work/FirmWare.ini", kSettings);
    std::filesystem::remove(tree / "work/fw/dsccmd.ini");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kBadSettings);
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/vorm.bin"));
}

// Each way the transfer can fail has its exit status, and a stop leaves the
// old files; a stop once the replacement has begun lets it finish.
TEST_F(CommandLine, EachTransferOutcomeHasItsStatus) {
    PlugCamera();
    struct Case {
        const char* name;
        std::function<void(TestHost&)> arrange;
        int status;
        bool newFiles;
    };
    const std::vector<Case> cases = {
        {"refused", [](TestHost& h) { h.refusal = DriveRefusal::NotRemovable; }, cli::kDriveRefused,
         false},
        {"no room", [](TestHost& h) { h.freeBytes = 4096; }, cli::kNoRoom, false},
        {"write fails", [](TestHost& h) { h.createFails = ErrorKind::Other; }, cli::kWriteFailed,
         false},
        {"write-protected", [](TestHost& h) { h.createFails = ErrorKind::WriteProtected; },
         cli::kDriveRefused, false},
        {"unplugged", [](TestHost& h) { h.createFails = ErrorKind::DeviceGone; },
         cli::kDisconnected, false},
        {"stopped",
         [this](TestHost& h) {
             h.onMakeDirectory = [this, &h] {
                 h.RequestStop();
                 AwaitStopNotice();
             };
         },
         cli::kStopped, false},
        {"stop held during replacement",
         [](TestHost& h) { h.onReplace = [&h] { h.RequestStop(); }; }, cli::kSuccess, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
        tree.Write("media/CAMERA/FIRMWARE/dsccmd.ini", "old command");
        TestHost host(Roots());
        c.arrange(host);
        EXPECT_EQ(Run({"--wait", "0"}, &host), c.status) << err;
        EXPECT_EQ(CameraFile("vorm.bin"), c.newFiles ? image : "old image");
        EXPECT_EQ(CameraFile("dsccmd.ini"),
                  c.newFiles ? "[Update]\nFile=vorm.bin\n" : "old command");
    }
}

// --devices: the report names the camera's volume and touches nothing; its
// JSON parses; and the text, loaded as a modelled tree, decides the same.
TEST_F(CommandLine, DevicesReportNamesTheCamerasVolumeAndReadsBackAsATree) {
    PlugCamera();
    TestHost host(Roots());
    host.onMakeDirectory = [] { ADD_FAILURE() << "the report made a folder"; };
    std::string text, json;
    cli::Options options = std::get<cli::Options>(cli::ParseOptions({"--devices"}));
    EXPECT_EQ(cli::RunDeviceReport(options, host, nullptr, [&](std::string_view t) { text += t; }),
              cli::kSuccess);
    options.json = true;
    cli::RunDeviceReport(options, host, nullptr, [&](std::string_view t) { json += t; });

    const std::string choice = "drive " + camera.string();
    EXPECT_NE(text.find("\nexpect " + choice + "\n"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::is_empty(camera));
    auto read = ReadDeviceReport(text);
    ASSERT_TRUE(std::holds_alternative<DeviceReport>(read)) << std::get<std::string>(read);
    EXPECT_EQ(ChoiceOfReport(std::get<DeviceReport>(read)), choice);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
    EXPECT_EQ(document.object().value("choice").toString().toStdString(), choice);
}

// Without a desktop, the volume is mounted for the update and ejected
// after it; an eject that fails is said, but the update stays a success.
TEST_F(CommandLine, AnUnmountedVolumeIsMountedThenEjected) {
    PlugCamera(false);
    FakeMounter mounter;
    mounter.mount = [this] {
        MountCamera();
        return MountedVolume{"/dev/sdc1", camera.string()};
    };
    EXPECT_EQ(Run({"--wait", "0", "--eject"}, nullptr, &mounter), cli::kSuccess) << err;
    EXPECT_EQ(mounter.mounted, std::vector<std::string>{"/dev/sdc1"});
    EXPECT_NE(out.find("Mounted /dev/sdc1 at " + camera.string() + " through UDisks2."),
              std::string::npos)
        << out;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
    EXPECT_EQ(mounter.ejected, std::vector<std::string>{camera.string()});
    EXPECT_NE(out.find("powered the camera off through UDisks2: it can be unplugged"),
              std::string::npos)
        << out;

    mounter.ejected.clear();
    EXPECT_EQ(Run({"--wait", "0"}, nullptr, &mounter), cli::kSuccess) << err;
    EXPECT_TRUE(mounter.ejected.empty());

    mounter.ejectFailure = MountFailure{MountFailure::Kind::Failed, "target is busy"};
    EXPECT_EQ(Run({"--wait", "0", "--eject", "--json"}, nullptr, &mounter), cli::kSuccess);
    const std::vector<QJsonObject> events = JsonEvents(out);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2]["event"].toString(), "done");
    EXPECT_EQ(events.back()["event"].toString(), "warning");
    const std::string warning = events.back()["message"].toString().toStdString();
    EXPECT_NE(warning.find("could not unmount " + camera.string() + " (target is busy)"),
              std::string::npos)
        << warning;
    EXPECT_NE(warning.find("(umount " + camera.string() + ") before you unplug"),
              std::string::npos);
}

// A mount that fails is said with the device, and not tried again until
// the camera comes back: each try may ask the user for a password.
TEST_F(CommandLine, AFailedMountIsSaidAndTriedOncePerArrival) {
    PlugCamera(false);
    FakeMounter mounter;
    mounter.mount = [] { return MountFailure{MountFailure::Kind::NoService, {}}; };
    EXPECT_EQ(Run({"--wait", "0"}, nullptr, &mounter), cli::kNoCamera);
    EXPECT_NE(err.find("storage /dev/sdc1 is not mounted, and UDisks2 is not running to mount it"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("sudo mount -o uid=$(id -u) /dev/sdc1 /mnt"), std::string::npos);

    mounter.mounted.clear();
    TestHost host(Roots());
    host.waitSteps = {[] {}, [this] { UnplugCamera(); }, [this] { PlugCamera(false); },
                      [&host] { host.RequestStop(); }};
    EXPECT_EQ(Run({}, &host, &mounter), cli::kStopped);
    EXPECT_EQ(host.waitStepsTaken, host.waitSteps.size());
    EXPECT_EQ(mounter.mounted.size(), 2u);
    EXPECT_NE(out.find("is not running to mount it. Waiting for it."), std::string::npos) << out;
}

// A service bench: three cameras plugged in one after another, each updated
// and logged, the second short of room; Ctrl-C while waiting for a fourth
// ends the run as stopped, so that a calling script stops too.
TEST_F(CommandLine, RepeatUpdatesEachCameraInTurnAndLogsIt) {
    TestHost host(Roots());
    const std::vector<std::string> serials = {"A100", "B200", "C300"};
    std::size_t plugged = 0;
    onOutput = [&](std::string_view text) {
        if (text.find("Waiting for the camera") != std::string_view::npos) {
            if (plugged == serials.size()) return host.RequestStop();
            host.freeBytes = plugged == 1 ? std::optional<std::uint64_t>(4096) : std::nullopt;
            PlugCamera(true, serials[plugged++]);
            host.changed = true;
        } else if (text.find("Unplug the camera") != std::string_view::npos) {
            tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
            UnplugCamera();
            host.changed = true;
        }
    };
    const std::string log = tree / "bench.csv";
    // Hashed in several pieces, each beside the reading of the next.
    image = std::string((5u << 19) + 7, '\x3c') + "end";
    tree.Write("work/fw/vorm.bin", image);
    EXPECT_EQ(Run({"--repeat", "--log", log}, &host), cli::kStopped) << err;
    EXPECT_EQ(plugged, 3u);

    std::istringstream lines(ReadFile(log));
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 4u) << ReadFile(log);
    EXPECT_EQ(rows[0],
              "time,hardware_id,serial,volume,bytes,seconds,outcome,message,warning,vorm_sha256,"
              "vorm_bytes,dsccmd_sha256,dsccmd_bytes");
    const std::string bytes = std::to_string(image.size() + 23);
    // The firmware's identity as the bench's own tools give it.
    const std::string files = Sha256sum(tree / "work/fw/vorm.bin") + "," +
                              std::to_string(image.size()) + "," +
                              Sha256sum(tree / "work/fw/dsccmd.ini") + ",23";
    for (std::size_t i = 1; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i]);
        EXPECT_NE(rows[i].find(",usb\\vid_1d6c&pid_00ab&rev_0100," + serials[i - 1] + "," +
                               camera.string() + "," + bytes + ","),
                  std::string::npos);
        EXPECT_NE(rows[i].find(i == 2 ? ",no-room,There is not enough room" : ",success,"),
                  std::string::npos);
        // Nothing was read back from the camera without room.
        EXPECT_TRUE(rows[i].ends_with(i == 2 ? ",,,," : "," + files));
    }
}

// A log that cannot take a line is said at once, with the system's reason,
// and the run's status says the record is incomplete.
TEST_F(CommandLine, ALogThatFailsIsSaid) {
    PlugCamera();
    EXPECT_EQ(Run({"--wait", "0", "--log", "/dev/full"}), cli::kLogIncomplete) << err;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
    EXPECT_NE(out.find("Update success"), std::string::npos);
    EXPECT_NE(err.find("The log /dev/full could not be written (No space left on device): it "
                       "has no line for the camera at " +
                       camera.string()),
              std::string::npos)
        << err;
    EXPECT_EQ(Run({"--wait", "0", "--json", "--log", "/dev/full"}), cli::kLogIncomplete);
    EXPECT_EQ(JsonEvents(out).back()["event"].toString(), "warning") << out;
}

// A volume in a folder whose name is not UTF-8 still gives JSON that a
// strict reader takes, and the folder's exact bytes.
TEST_F(CommandLine, JsonStaysUtf8ForAFolderOfAnOlderSystem) {
    camera = tree.MakeFolder("media/CAM\xE9RA");
    tree.Write("work/FirmWare.ini", std::string(kSettings));
    PlugCamera(false);
    mountTable += "2 1 " + testing::DeviceNumberOf(tree.root()) + " / " + camera.string() +
                  " rw - vfat /dev/sdc1 rw\n";
    tree.Write("mountinfo", mountTable);
    EXPECT_EQ(Run({"--json", "--wait", "0"}), cli::kSuccess) << out;
    tree.Write("events.jsonl", out);
    const std::string check =
        "python3 -c 'import sys, json\n"
        "for line in open(sys.argv[1], \"rb\"):\n"
        "    event = json.loads(line.decode(\"utf-8\", \"strict\"))\n"
        "    if \"volumeHex\" in event: "
        "print(bytes.fromhex(event[\"volumeHex\"]).decode(\"latin-1\"))\n"
        "' " +
        tree / "events.jsonl";
    std::FILE* python = ::popen(check.c_str(), "r");
    ASSERT_NE(python, nullptr);
    std::string said;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, python) != nullptr) said += buffer;
    EXPECT_EQ(::pclose(python), 0) << out;
    EXPECT_NE(said.find("CAM\xC3\xA9RA"), std::string::npos) << said;  // é, read back as Latin-1
}

// Odd files as settings or log: nothing blocks or reads without end, and
// each is refused with what it is. A pipe with a reader takes the log.
TEST_F(CommandLine, OddSettingsAndLogFilesAreRefusedAtOnce) {
    PlugCamera();
    const std::string fifo = tree / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    tree.Write("big.ini", std::string(kSettings) + std::string(70 * 1024, ';'));
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"--ini", fifo}, cli::kBadSettings, "not a regular file"},
        {{"--ini", "/dev/zero"}, cli::kBadSettings, "not a regular file"},
        {{"--ini", tree / "work"}, cli::kBadSettings, "is a folder, not a file"},
        {{"--ini", tree / "big.ini"}, cli::kBadSettings, "larger than 64 KiB"},
        {{"--log", fifo}, cli::kUsage, "(it is a pipe that nothing reads from yet)"},
        {{"--log", tree / "work"}, cli::kUsage, "(Is a directory)"},
        {{"--log", "eventlog"}, cli::kUsage, "the Windows Application log, which this system"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--wait", "0"});
        EXPECT_EQ(Run(arguments), c.status) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
    }
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), "");

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Run({"--log", fifo, "--wait", "0"}), cli::kSuccess) << err;
    char line[4096];
    const ssize_t got = ::read(reader, line, sizeof line);
    ::close(reader);
    ASSERT_GT(got, 0);
    EXPECT_NE(std::string(line, static_cast<std::size_t>(got)).find(",success,"),
              std::string::npos);
}

// A camera that stops answering mid-write is said to, and Ctrl-C then ends
// the run without waiting for it, its old files in place.
TEST_F(CommandLine, AStopEndsTheRunWhenTheCameraHangs) {
    PlugCamera();
    tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
    TestHost host(Roots());
    std::mutex mutex;
    std::condition_variable released;
    bool over = false;
    host.onCreate = [&] {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return over; });
    };
    onOutput = [&](std::string_view text) {
        if (text.find("The camera is not answering") != std::string_view::npos) host.RequestStop();
    };
    EXPECT_EQ(Run({"--wait", "0"}, &host), cli::kStopped) << out;
    {
        std::lock_guard lock(mutex);
        over = true;
    }
    released.notify_all();
    EXPECT_NE(err.find("the camera does not answer, so orvane-cli ends without waiting"),
              std::string::npos)
        << err;
    EXPECT_EQ(CameraFile("vorm.bin"), "old image");
}

// The mended fault: a signal that came after the transfer's end, before its
// outcome was said and logged, ended the process at once, by the signal,
// without the "done" event or the log line of a camera it had updated.
TEST_F(CommandLine, ASignalAfterTheTransferLeavesItsDoneEventLogLineAndStatus) {
    PlugCamera(true, "SERIAL1");
    const std::string log = tree / "bench.csv";
    const pid_t child = ::fork();
    if (child == 0) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(signal, SIG_DFL);
        TestHost host(Roots());
        host.WatchTerminationSignals();
        // The camera is updated: the signal comes as its outcome is said.
        onOutput = [](std::string_view text) {
            if (text.find("\"done\"") != std::string_view::npos) ::raise(SIGTERM);
        };
        ::_exit(Run({"--json", "--wait", "0", "--log", log}, &host));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), cli::kSuccess);
    EXPECT_NE(ReadFile(log).find(",SERIAL1,"), std::string::npos) << ReadFile(log);
    EXPECT_EQ(CameraFile("vorm.bin"), image);
}

// As a terminal's job has them, whatever the test was started with (a
// background job ignores SIGINT, nohup SIGHUP): the program keeps an
// ignored signal ignored.
void DefaultSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(signal, SIG_DFL);
}

// The program itself, started in `folder` with `arguments`, its output
// into `output`.
pid_t StartProgram(const std::filesystem::path& folder, int output,
                   std::vector<std::string> arguments) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    DefaultSignals();
    ::dup2(output, STDOUT_FILENO);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(ORVANE_CLI_PROGRAM)};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(ORVANE_CLI_PROGRAM, argv.data());
    ::_exit(127);
}

// Reads `fd` until `text` has come; what came.
std::string ReadUntil(int fd, std::string_view text) {
    std::string said;
    char c;
    while (said.find(text) == std::string::npos && ::read(fd, &c, 1) == 1) said += c;
    return said;
}

// After the stop, each signal ends it as the signal does by default, so
// that the calling shell sees which one; Ctrl-\ as well, without a core.
TEST(CommandLineProgram, AStopEndsItByItsSignal) {
    TempTree tree;
    tree.Write("FirmWare.ini", std::string(kSettings));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        int output[2];
        ASSERT_EQ(::pipe(output), 0);
        const pid_t child = StartProgram(tree.root(), output[1], {});
        ASSERT_GE(child, 0);
        ::close(output[1]);
        // Once it says it waits, its signal handling is in place.
        EXPECT_NE(ReadUntil(output[0], "\n").find("Waiting for the camera"), std::string::npos);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(output[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_FALSE(WCOREDUMP(status));
    }
}

// Ctrl-C on the terminal reaches the shell loop that runs it too: the loop
// stops, instead of going on with the next round.
TEST(CommandLineProgram, CtrlCStopsACallingShellLoop) {
    TempTree tree;
    tree.Write("FirmWare.ini", std::string(kSettings));
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    const std::string loop = std::string("for round in 1 2; do '") + ORVANE_CLI_PROGRAM +
                             "' --wait 2; echo \"round $round over\"; done";
    const pid_t shell = ::fork();
    if (shell == 0) {
        ::setpgid(0, 0);  // a job of its own, as a terminal's foreground
        DefaultSignals();
        ::dup2(output[1], STDOUT_FILENO);
        if (::chdir(tree.root().c_str()) != 0) ::_exit(126);
        ::execl("/bin/bash", "bash", "-c", loop.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GE(shell, 0);
    ::setpgid(shell, shell);
    ::close(output[1]);
    EXPECT_NE(ReadUntil(output[0], "\n").find("Waiting for the camera"), std::string::npos);
    ::kill(-shell, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(shell, &status, 0), shell);
    const std::string rest = ReadUntil(output[0], "never said");
    ::close(output[0]);
    EXPECT_EQ(rest.find("round 1 over"), std::string::npos) << rest;
    EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 130);
}

// A reader that went away does not end it half-way: it still ends with its
// own status, as it would between the replacement of two files.
TEST(CommandLineProgram, AClosedOutputDoesNotKillIt) {
    TempTree tree;
    tree.Write("FirmWare.ini", std::string(kSettings));
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    ::close(output[0]);
    const pid_t child = StartProgram(tree.root(), output[1], {"--json", "--wait", "0"});
    ASSERT_GE(child, 0);
    ::close(output[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), cli::kNoCamera);
}

}  // namespace
}  // namespace orvane::linux_port
