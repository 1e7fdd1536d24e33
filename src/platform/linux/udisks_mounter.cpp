// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// UDisks2 over Qt D-Bus: its object manager lists every block device with
// its interfaces; a block with the Filesystem interface can be mounted, and
// its Drive powered off.
#include "platform/linux/udisks_mounter.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>
#include <QVariantMap>
#include <clocale>
#include <map>
#include <vector>

namespace orvane::linux_port {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kPartition = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");

// Reading the objects is quick; a mount, an unmount or a power-off may wait
// for the user to answer polkit's question.
constexpr int kQueryTimeoutMs = 15000;
constexpr int kActionTimeoutMs = 300000;
// How often a pending call looks for a stop.
constexpr int kStopPollMs = 50;

// Each object's interfaces with their properties.
using Interfaces = QMap<QString, QVariantMap>;
using Objects = std::map<QString, Interfaces>;

// A byte string property ("ay"), without its closing NUL.
QByteArray Bytes(const QVariant& value) {
    QByteArray bytes = value.toByteArray();
    while (bytes.endsWith('\0')) bytes.chop(1);
    return bytes;
}

// A list of byte strings ("aay"), such as a file system's mount points.
std::vector<QByteArray> ByteStrings(const QVariant& value) {
    std::vector<QByteArray> strings;
    if (value.userType() != qMetaTypeId<QDBusArgument>()) return strings;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        QByteArray bytes;
        argument >> bytes;
        while (bytes.endsWith('\0')) bytes.chop(1);
        strings.push_back(bytes);
    }
    argument.endArray();
    return strings;
}

QString PathOf(const QVariant& value) {
    return value.value<QDBusObjectPath>().path();
}

MountFailure FailureOf(const QDBusError& error) {
    const QString name = error.name();
    MountFailure failure{MountFailure::Kind::Failed, error.message().toStdString()};
    if (name.startsWith(QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorized")) ||
        name == QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")) {
        failure.kind = MountFailure::Kind::NotAuthorised;
    } else if (name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
               name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
               name == QStringLiteral("org.freedesktop.DBus.Error.NoServer") ||
               name == QStringLiteral("org.freedesktop.DBus.Error.Disconnected") ||
               name.startsWith(QStringLiteral("org.freedesktop.DBus.Error.Spawn."))) {
        // Not running, and not started on demand either.
        failure.kind = MountFailure::Kind::NoService;
    }
    return failure;
}

// The reply to a call that was not waited for to the end.
QDBusMessage StoppedReply(const QDBusMessage& call) {
    return call.createErrorReply(QStringLiteral("org.orvane.Stopped"),
                                 QStringLiteral("stopped while waiting"));
}

bool WasStopped(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage &&
           reply.errorName() == QStringLiteral("org.orvane.Stopped");
}

MountFailure FailureOf(const QDBusMessage& reply) {
    if (WasStopped(reply)) return MountFailure{MountFailure::Kind::Stopped, {}};
    return FailureOf(QDBusError(reply));
}

class UDisks {
  public:
    UDisks(bool interactive, const Interruption& interruption)
        : bus_(QDBusConnection::systemBus()),
          interactive_(interactive),
          interruption_(interruption) {}

    // The failure when there is no system bus to talk to at all.
    std::optional<MountFailure> Unreachable() const {
        if (bus_.isConnected()) return std::nullopt;
        return MountFailure{MountFailure::Kind::NoService,
                            "no system bus: " + bus_.lastError().message().toStdString()};
    }

    std::variant<Objects, MountFailure> ReadObjects() {
        QDBusMessage reply = Call(QStringLiteral("/org/freedesktop/UDisks2"),
                                  QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                  QStringLiteral("GetManagedObjects"), {}, kQueryTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage) return FailureOf(reply);
        Objects objects;
        const QDBusArgument argument = reply.arguments().value(0).value<QDBusArgument>();
        argument.beginMap();
        while (!argument.atEnd()) {
            QDBusObjectPath path;
            Interfaces interfaces;
            argument.beginMapEntry();
            argument >> path >> interfaces;
            argument.endMapEntry();
            objects.emplace(path.path(), std::move(interfaces));
        }
        argument.endMap();
        return objects;
    }

    // Calls one of UDisks2's methods that take only options: as a file
    // manager does, polkit may ask the user.
    QDBusMessage Act(const QString& path, const QString& interface, const QString& method) {
        const QVariantMap options{{QStringLiteral("auth.no_user_interaction"), !interactive_}};
        return Call(path, interface, method, {options}, kActionTimeoutMs);
    }

  private:
    QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments, int timeoutMs) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, path, interface, method);
        call.setArguments(arguments);
        call.setInteractiveAuthorizationAllowed(interactive_);
        if (!interruption_.stopped) return bus_.call(call, QDBus::Block, timeoutMs);
        // D-Bus has no way to take a call back: a stop leaves it to the
        // service and the program goes on without its answer.
        QDBusPendingCall pending = bus_.asyncCall(call, timeoutMs);
        QDBusPendingCallWatcher watcher(pending);
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
            if (interruption_.stopped()) loop.quit();
        });
        poll.start(kStopPollMs);
        if (interruption_.attend) interruption_.attend(true);
        if (!pending.isFinished() && !interruption_.stopped()) loop.exec();
        if (interruption_.attend) interruption_.attend(false);
        if (!pending.isFinished()) return StoppedReply(call);
        return pending.reply();
    }

    QDBusConnection bus_;
    bool interactive_;
    const Interruption& interruption_;
};

// The object with a file system for `device`: the block itself, or else the
// partition on it with the lowest number that has one.
QString FilesystemFor(const Objects& objects, const QString& block) {
    if (objects.at(block).contains(kFilesystem)) return block;
    QString chosen;
    unsigned lowest = 0;
    for (const auto& [path, interfaces] : objects) {
        const auto partition = interfaces.find(kPartition);
        if (partition == interfaces.end() || !interfaces.contains(kFilesystem)) continue;
        if (PathOf(partition->value(QStringLiteral("Table"))) != block) continue;
        const unsigned number = partition->value(QStringLiteral("Number")).toUInt();
        if (chosen.isEmpty() || number < lowest) {
            chosen = path;
            lowest = number;
        }
    }
    return chosen;
}

}  // namespace

UDisksMounter::UDisksMounter(bool interactive, Interruption interruption)
    : interactive_(interactive), interruption_(std::move(interruption)) {}
UDisksMounter::~UDisksMounter() = default;

void UDisksMounter::EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    // Qt takes on the user's locale for everything; the program's own output
    // (numbers in JSON among them) keeps the locale it had.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    static int argc = 1;
    static char name[] = "orvane-cli";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QCoreApplication>(argc, argv);
    std::setlocale(LC_ALL, locale.c_str());
}

std::variant<MountedVolume, MountFailure> UDisksMounter::Mount(std::string_view diskName) {
    EnsureApplication();
    UDisks udisks(interactive_, interruption_);
    if (std::optional<MountFailure> failure = udisks.Unreachable()) return *failure;
    std::variant<Objects, MountFailure> read = udisks.ReadObjects();
    if (auto* failure = std::get_if<MountFailure>(&read)) return *failure;
    const Objects& objects = std::get<Objects>(read);

    const QByteArray wanted(diskName.data(), static_cast<qsizetype>(diskName.size()));
    QString block;
    for (const auto& [path, interfaces] : objects) {
        const auto properties = interfaces.find(kBlock);
        if (properties == interfaces.end()) continue;
        if (Bytes(properties->value(QStringLiteral("Device"))) == wanted ||
            Bytes(properties->value(QStringLiteral("PreferredDevice"))) == wanted) {
            block = path;
            break;
        }
    }
    if (block.isEmpty())
        return MountFailure{MountFailure::Kind::NotKnown,
                            "no block device " + std::string(diskName) + " among its objects"};
    const QString target = FilesystemFor(objects, block);
    if (target.isEmpty()) return MountFailure{MountFailure::Kind::NoFilesystem, {}};

    const Interfaces& chosen = objects.at(target);
    MountedVolume volume;
    volume.device = Bytes(chosen.value(kBlock).value(QStringLiteral("Device"))).toStdString();
    // Mounted since the caller looked (a desktop's automounter): as it is.
    const std::vector<QByteArray> points =
        ByteStrings(chosen.value(kFilesystem).value(QStringLiteral("MountPoints")));
    if (!points.empty()) {
        volume.mountPoint = points.front().toStdString();
        return volume;
    }
    const QDBusMessage reply = udisks.Act(target, kFilesystem, QStringLiteral("Mount"));
    if (reply.type() != QDBusMessage::ReplyMessage) return FailureOf(reply);
    volume.mountPoint = reply.arguments().value(0).toString().toStdString();
    return volume;
}

EjectResult UDisksMounter::Eject(std::string_view mountPoint, std::string_view) {
    EnsureApplication();
    EjectResult result;
    UDisks udisks(interactive_, interruption_);
    if (std::optional<MountFailure> failure = udisks.Unreachable()) {
        result.failure = failure;
        return result;
    }
    std::variant<Objects, MountFailure> read = udisks.ReadObjects();
    if (auto* failure = std::get_if<MountFailure>(&read)) {
        result.failure = *failure;
        return result;
    }
    const Objects& objects = std::get<Objects>(read);

    const QByteArray wanted(mountPoint.data(), static_cast<qsizetype>(mountPoint.size()));
    QString target;
    for (const auto& [path, interfaces] : objects) {
        const auto filesystem = interfaces.find(kFilesystem);
        if (filesystem == interfaces.end()) continue;
        for (const QByteArray& point :
             ByteStrings(filesystem->value(QStringLiteral("MountPoints"))))
            if (point == wanted) target = path;
    }
    if (target.isEmpty()) {
        result.failure =
            MountFailure{MountFailure::Kind::NotKnown, "it knows no volume mounted there"};
        return result;
    }
    QDBusMessage reply = udisks.Act(target, kFilesystem, QStringLiteral("Unmount"));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        result.failure = FailureOf(reply);
        return result;
    }
    result.unmounted = true;

    // A loop device has no drive; some drives cannot be powered off. Either
    // way the unmount was all there is to do.
    const QString drive = PathOf(objects.at(target).value(kBlock).value(QStringLiteral("Drive")));
    const auto found = objects.find(drive);
    if (found == objects.end() || !found->second.contains(kDrive) ||
        !found->second.value(kDrive).value(QStringLiteral("CanPowerOff")).toBool())
        return result;
    reply = udisks.Act(drive, kDrive, QStringLiteral("PowerOff"));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        result.failure = FailureOf(reply);
        return result;
    }
    result.poweredOff = true;
    return result;
}

}  // namespace orvane::linux_port
