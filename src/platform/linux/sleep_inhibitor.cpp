// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The sleep inhibitor lock, through Qt's D-Bus module.
#include "platform/linux/sleep_inhibitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <atomic>
#include <cstdio>

#include "platform/qt/qt_text.h"
#include "texts/texts.h"

namespace orvane::linux_port {

using qt::FromView;

namespace {

// A logind that does not answer within this must not hold up the transfer.
constexpr int kCallTimeoutMs = 5000;

void SayOnce(const QString& why) {
    static std::atomic<bool> said{false};
    if (said.exchange(true)) return;
    // The program's own name: the dialog's, or the command line's.
    const QString program = QCoreApplication::instance() != nullptr
                                ? QCoreApplication::applicationName()
                                : QStringLiteral("orvane");
    std::fprintf(stderr, "%s: the system may sleep during the transfer: %s\n",
                 program.toLocal8Bit().constData(), why.toLocal8Bit().constData());
}

}  // namespace

void SleepInhibitor::Acquire() {
    if (lock_ >= 0) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        SayOnce(bus.lastError().message());
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << FromView(texts::kTitle) << FromView(texts::kHoldingSystem)
         << QStringLiteral("block");
    QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid() || !reply.value().isValid()) {
        SayOnce(reply.error().message());
        return;
    }
    // The reply's copy closes with it; ours stays open until Release.
    lock_ = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

void SleepInhibitor::Release() {
    if (lock_ < 0) return;
    ::close(lock_);
    lock_ = -1;
}

}  // namespace orvane::linux_port
