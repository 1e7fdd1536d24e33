// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The updater dialog of the Linux program, laid out from template 102.
#include "platform/qt/updater_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimerEvent>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "platform/qt/about_dialog.h"
#include "platform/qt/dialog_units.h"
#include "platform/qt/leave_screen.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/termination_signals.h"
#include "texts/texts.h"

namespace orvane::qt {

namespace {

// The icon handle the core keeps; the Qt icon itself lives in the window.
constexpr IconHandle kAppIconHandle = 128;

QLabel* MakePicture(QWidget* parent, const char* name, const QString& image, QRect geometry) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(name);
    picture->setGeometry(geometry);
    // Shown at its own size, centred in the control, as SS_CENTERIMAGE with
    // SS_REALSIZEIMAGE does: a bitmap wider than the control is cropped.
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(QPixmap(image));
    return picture;
}

}  // namespace

UpdaterWindow::UpdaterWindow(linux_port::SystemRoots roots, QWidget* parent, VolumeMounter* mounter)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName("updaterDialog");
    setWindowTitle(FromView(texts::kTitle));
    QFont dialogFont = font();
    dialogFont.setPointSize(kDialogFontPoints);
    setFont(dialogFont);
    resize(DialogUnitsToPixels(216, 81));

    // Created in template order, which is also the tab order.
    cancel_ = new QPushButton(FromView(texts::kCancelButton), this);
    cancel_->setObjectName("cancelButton");
    cancel_->setGeometry(DialogUnitsToPixels(149, 27, 65, 26));
    update_ = new QPushButton(FromView(texts::kUpdateButton), this);
    update_->setObjectName("updateButton");
    update_->setGeometry(DialogUnitsToPixels(2, 27, 63, 26));
    banner_ = MakePicture(this, "banner", QStringLiteral(":/orvane/banner.bmp"),
                          DialogUnitsToPixels(2, 5, 212, 22));
    notice_ = MakePicture(this, "notice", QStringLiteral(":/orvane/notice.bmp"),
                          DialogUnitsToPixels(2, 61, 212, 15));
    // The transfer's progress stands where the notice is, while it runs.
    progress_ = new QProgressBar(this);
    progress_->setObjectName("progressBar");
    progress_->setGeometry(DialogUnitsToPixels(2, 61, 212, 6));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->hide();
    status_ = new QLabel(this);
    status_->setObjectName("progressStatus");
    status_->setGeometry(DialogUnitsToPixels(2, 68, 212, 8));
    status_->hide();
    setTabOrder(cancel_, update_);
    // Neither button is the default; Enter presses whichever has the focus.
    for (QPushButton* button : {cancel_, update_}) {
        button->setDefault(false);
        button->setAutoDefault(true);
    }

    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    connect(update_, &QPushButton::clicked, this, [this] { core_->OnUpdateClicked(); });

    // Centred in the work area, as the Windows dialog manager places a modal
    // dialog that has no position of its own.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    platform_ = std::make_unique<linux_port::LinuxPlatform>(*this, std::move(roots), mounter);
    core_ = std::make_unique<CUpdaterDialog>(*platform_);
}

UpdaterWindow::~UpdaterWindow() {
    // The core waits for the transfer's end before the dialog ends, so this
    // only waits for the worker's last steps after it posted the result.
    if (worker_) worker_->wait();
}

void UpdaterWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (initialized_) return;
    initialized_ = true;
    core_->OnInitDialog();
    // The socket is opened by the initialization's arrival subscription.
    if (const int socket = platform_->DeviceEventSocket(); socket >= 0) {
        deviceEvents_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(deviceEvents_, &QSocketNotifier::activated, this, [this] {
            if (platform_->ReadDeviceEvents()) core_->OnDeviceChange();
        });
    }
    cancel_->setFocus(Qt::OtherFocusReason);
}

void UpdaterWindow::timerEvent(QTimerEvent* event) {
    for (auto& [id, timer] : timers_) {
        if (timer.timerId() == event->timerId()) {
            core_->OnTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

void UpdaterWindow::reject() {
    core_->OnCancel();
}

IconHandle UpdaterWindow::LoadAppIcon() {
    icon_ = QIcon(QStringLiteral(":/orvane/orvane.ico"));
    return icon_.isNull() ? 0 : kAppIconHandle;
}

void UpdaterWindow::AddAboutToSystemMenu() {
    // Linux windows have no system menu; the entry goes in the dialog's
    // context menu instead, below a separator as on Windows.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* about = new QAction(FromView(texts::kAboutMenuEntry), this);
    about->setObjectName("aboutAction");
    connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
    addAction(separator);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void UpdaterWindow::SetWindowIcons(IconHandle icon) {
    if (icon == kAppIconHandle) setWindowIcon(icon_);
}

unsigned UpdaterWindow::ArmTimer(unsigned id, unsigned intervalMs) {
    if (id == 0) return 0;
    // Arming an armed timer restarts it, as SetTimer does.
    timers_[id].start(static_cast<int>(intervalMs), this);
    return id;
}

void UpdaterWindow::StopTimer(unsigned timerId) {
    auto timer = timers_.find(timerId);
    if (timer == timers_.end()) return;
    timer->second.stop();
    timers_.erase(timer);
}

QString UpdaterWindow::MessageTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void UpdaterWindow::ShowMessage(std::string_view text) {
    // exec() runs a nested event loop, so the poll timer keeps ticking.
    QMessageBox box(QMessageBox::Warning, MessageTitle(), FromView(text), QMessageBox::Ok, this);
    box.setObjectName("messageBox");
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void UpdaterWindow::EndModal(int result) {
    done(result);
}

void UpdaterWindow::ShowProgress(int percent, std::string_view status) {
    notice_->hide();
    progress_->setValue(percent);
    progress_->show();
    status_->setText(FromView(status));
    status_->show();
    update_->setEnabled(false);
}

void UpdaterWindow::HideProgress() {
    progress_->hide();
    status_->hide();
    notice_->show();
    update_->setEnabled(true);
}

void UpdaterWindow::RunInBackground(std::function<void()> work) {
    if (worker_) worker_->wait();
    transferOver_ = false;
    worker_.reset(QThread::create(std::move(work)));
    worker_->start();
}

void UpdaterWindow::RunDeviceQuery(std::function<void()> work) {
    try {
        std::thread(work).detach();
    } catch (const std::system_error&) {
        work();  // no thread to be had: ask here, as a host without threads does
    }
}

void UpdaterWindow::EndProcess(int result) {
    std::fflush(stdout);
    if (const int signal = TerminationSignals::EndingSignal(); signal != 0)
        TerminationSignals::EndAsUsual(signal);
    LeaveScreen();
    std::_Exit(result == IDOK ? 0 : 1);
}

void UpdaterWindow::PostToUi(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void UpdaterWindow::HoldSystemForTransfer(bool hold) {
    if (hold) {
        sleepInhibitor_.Acquire();
        return;
    }
    sleepInhibitor_.Release();
    // Posted before the transfer's result, so a window that is to end does
    // so before the result could open a box.
    QMetaObject::invokeMethod(
        this,
        [this] {
            transferOver_ = true;
            if (endAfterTransfer_) EndNow();
        },
        Qt::QueuedConnection);
}

bool UpdaterWindow::EndAfterTransfer() {
    if (!core_->transferRunning()) return false;
    endAfterTransfer_ = true;
    core_->OnSystemStop();  // never cuts the new files' replacement of the old ones
    if (transferOver_) EndNow();
    return true;
}

void UpdaterWindow::EndNow() {
    done(IDCANCEL);
    // An About box opened over the window has a loop of its own.
    QCoreApplication::exit(0);
}

void UpdaterWindow::ShowAbout() {
    AboutDialog about(icon_, this);
    about.exec();
}

}  // namespace orvane::qt
