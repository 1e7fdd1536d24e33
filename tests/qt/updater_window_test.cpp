// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux program's dialogs, offscreen: texts, geometry from dialog units,
// focus, the ways to end the dialog, the message boxes and poll ticks while
// one is open, the About box, and a whole update from the example folder.
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QSocketNotifier>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <utility>

#include "platform/linux/profile_reader.h"
#include "platform/qt/demo_machine.h"
#include "platform/qt/updater_window.h"
#include "texts/texts.h"

using orvane::IDCANCEL;
using orvane::IDOK;
using orvane::qt::DemoMachine;
using orvane::qt::UpdaterWindow;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The updater window with its timers sped up, so that tests need not wait
// five seconds for a tick; the interval the core asked for is kept. It also
// records what the progress bar showed, and can hold the worker thread at
// its first report until the test lets it go on.
class FastWindow : public UpdaterWindow {
  public:
    using UpdaterWindow::UpdaterWindow;
    // The session counts its silences by the clock, not by its ticks.
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override {
        requestedInterval = intervalMs;
        return UpdaterWindow::ArmTimer(id, 20);
    }
    void ShowProgress(int percent, std::string_view status) override {
        UpdaterWindow::ShowProgress(percent, status);
        auto* bar = findChild<QProgressBar*>("progressBar");
        barValues.push_back(bar->isVisible() ? bar->value() : -1);
        if (onTransferShown && status.find(orvane::texts::kDoNotDisconnect) != status.npos) {
            // Once the core has the transfer in hand.
            QMetaObject::invokeMethod(this, std::exchange(onTransferShown, nullptr),
                                      Qt::QueuedConnection);
        }
    }
    void RunDeviceQuery(std::function<void()> work) override {
        queriesOut.fetch_add(1);
        UpdaterWindow::RunDeviceQuery([this, work = std::move(work)] {
            asking = true;
            work();
            queriesOut.fetch_sub(1);
        });
    }
    // A test may end before the first scan's answer: its thread must be
    // done with the platform before the platform goes.
    ~FastWindow() override {
        while (queriesOut.load() != 0) QThread::msleep(1);
    }
    std::atomic<int> queriesOut{0};
    // Holds the transfer's worker, not a device query.
    void PostToUi(std::function<void()> task) override {
        if (holdWorker && !asking && QThread::currentThread() != thread()) {
            holdWorker = false;
            workerGoOn.acquire();
        }
        UpdaterWindow::PostToUi(std::move(task));
    }
    unsigned requestedInterval = 0;
    std::vector<int> barValues;
    bool holdWorker = false;
    QSemaphore workerGoOn;
    std::function<void()> onTransferShown;
    static thread_local bool asking;
};

thread_local bool FastWindow::asking = false;

// Runs `act` on the first modal widget of type T that opens over the updater
// window, from inside that widget's own event loop.
template <typename T>
void WhenShown(std::function<void(T*)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(widget);
        }
    });
    poll->start(5);
}

// Runs `act` once `window` is shown and has the input.
void WhenActive(QWidget& window, std::function<void()> act) {
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [poll, &window, act] {
        if (!window.isActiveWindow()) return;
        poll->stop();
        poll->deleteLater();
        act();
    });
    poll->start(5);
}

void PressOk(QMessageBox* box) {
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
}

}  // namespace

class UpdaterWindowTest : public QObject {
    Q_OBJECT

  private:
    std::string hardwareId_;
    std::unique_ptr<DemoMachine> machine_;

    std::vector<std::string> CameraFiles() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(machine_->cameraDrive(), error))
            names.push_back(
                std::filesystem::relative(entry.path(), machine_->cameraDrive()).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    template <typename T>
    static T* Child(QWidget& window, const char* name) {
        T* child = window.findChild<T*>(name);
        if (child == nullptr) qFatal("no child %s", name);
        return child;
    }

  private slots:
    void initTestCase() {
        // The settings and the update files of the example folder.
        QVERIFY(::chdir(orvane::qt::ExampleFolder().c_str()) == 0);
        hardwareId_ = orvane::linux_port::ReadProfileValue(ReadFile("FirmWare.ini"), "PID_VID",
                                                           "PID_VID", "", 260);
        QVERIFY(!hardwareId_.empty());
    }
    void init() { machine_ = std::make_unique<DemoMachine>(hardwareId_); }
    void cleanup() { machine_.reset(); }

    void texts() {
        FastWindow window(machine_->roots());
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvane"));
        QCOMPARE(Child<QPushButton>(window, "cancelButton")->text(), QStringLiteral("Cancel"));
        QCOMPARE(Child<QPushButton>(window, "updateButton")->text(), QStringLiteral("UpDate"));
        // The About entry stands below a separator in the context menu.
        QCOMPARE(window.contextMenuPolicy(), Qt::ActionsContextMenu);
        QList<QAction*> actions = window.actions();
        QCOMPARE(actions.size(), 2);
        QVERIFY(actions[0]->isSeparator());
        QCOMPARE(actions[1]->text(), QStringLiteral("&About Orvane..."));
    }

    void geometryFollowsTheTemplate() {
        FastWindow window(machine_->roots());
        window.show();
        QCOMPARE(window.size(), QSize(324, 132));
        auto* cancel = Child<QPushButton>(window, "cancelButton");
        auto* update = Child<QPushButton>(window, "updateButton");
        auto* banner = Child<QLabel>(window, "banner");
        auto* notice = Child<QLabel>(window, "notice");
        QCOMPARE(cancel->geometry(), QRect(224, 44, 98, 42));
        QCOMPARE(update->geometry(), QRect(3, 44, 95, 42));
        QCOMPARE(banner->geometry(), QRect(3, 8, 318, 36));
        QCOMPARE(notice->geometry(), QRect(3, 99, 318, 24));
        QCOMPARE(banner->pixmap().size(), QSize(322, 35));
        QCOMPARE(notice->pixmap().size(), QSize(321, 17));
        QVERIFY(!window.windowIcon().isNull());

        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));

        const QRect area = window.screen()->availableGeometry();
        QVERIFY((window.geometry().center() - area.center()).manhattanLength() <= 2);

        // The frame can be dragged; the controls keep their places.
        window.resize(500, 300);
        QCOMPARE(window.size(), QSize(500, 300));
        QCOMPARE(cancel->geometry(), QRect(224, 44, 98, 42));
        QCOMPARE(notice->geometry(), QRect(3, 99, 318, 24));
    }

    // The kernel's device events are watched from the start, so a camera
    // plugged in is looked for at once, not at the next poll tick.
    void deviceEventsAreWatchedOnceTheDialogIsUp() {
        const int probe = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
        if (probe < 0) QSKIP("no kernel uevent socket here");
        ::close(probe);
        FastWindow window(machine_->roots());
        QVERIFY(window.findChild<QSocketNotifier*>() == nullptr);
        window.show();
        auto* watch = window.findChild<QSocketNotifier*>();
        QVERIFY(watch != nullptr);
        QVERIFY(watch->isEnabled());
        QCOMPARE(watch->type(), QSocketNotifier::Read);
    }

    void focusStartsOnCancelAndTabMovesToUpdate() {
        FastWindow window(machine_->roots());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* cancel = Child<QPushButton>(window, "cancelButton");
        auto* update = Child<QPushButton>(window, "updateButton");
        QCOMPARE(QApplication::focusWidget(), cancel);
        QTest::keyClick(&window, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), update);
        QTest::keyClick(&window, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), cancel);
    }

    void enterOnCancelEndsTheDialog() {
        machine_->PlugCamera();
        FastWindow window(machine_->roots());
        WhenActive(window, [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); });
        QCOMPARE(window.exec(), IDCANCEL);
        // The camera was found, but Cancel touched no file.
        QVERIFY(window.core().deviceFound());
        QVERIFY(CameraFiles().empty());
    }

    void escapeAndTheCloseButtonEndTheDialog() {
        FastWindow window(machine_->roots());
        WhenActive(window, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
        QCOMPARE(window.exec(), IDCANCEL);

        FastWindow other(machine_->roots());
        WhenActive(other, [&other] { other.close(); });
        QCOMPARE(other.exec(), IDCANCEL);
    }

    void enterOnUpdateWithoutCameraShowsTheBoxAndTicksGoOn() {
        FastWindow window(machine_->roots());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.requestedInterval, orvane::POLL_INTERVAL_MS);

        bool foundWhileOpen = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QList<QAbstractButton*> buttons;
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->buttons();
            // The camera arrives while the box is open; a tick must find it.
            machine_->PlugCamera();
            auto* wait = new QTimer(box);
            QObject::connect(wait, &QTimer::timeout, box, [&, box] {
                if (!window.core().deviceFound()) return;
                foundWhileOpen = box->isVisible();
                PressOk(box);
            });
            wait->start(5);
            QTimer::singleShot(3000, box, [box] { PressOk(box); });
        });
        QTest::keyClick(&window, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);

        QCOMPARE(text, Q(orvane::texts::kCheckDevice));
        QCOMPARE(title, QStringLiteral("qt_dialog_tests"));
        QCOMPARE(title, UpdaterWindow::MessageTitle());
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons.size(), 1);
        QVERIFY(foundWhileOpen);
        // Nothing more happens until "UpDate" is pressed again.
        QVERIFY(window.isVisible());
        QVERIFY(CameraFiles().empty());
    }

    void updateWritesBothFilesAndEndsWithOk() {
        machine_->PlugCamera();
        FastWindow window(machine_->roots());
        QString text;
        WhenShown<QMessageBox>([&text](QMessageBox* box) {
            text = box->text();
            PressOk(box);
        });
        WhenActive(window, [&window] {
            QTest::mouseClick(window.findChild<QPushButton*>("updateButton"), Qt::LeftButton);
        });
        QCOMPARE(window.exec(), IDOK);
        QCOMPARE(text, Q(orvane::texts::kUpdateSuccess));
        QCOMPARE(CameraFiles(), (std::vector<std::string>{"FIRMWARE", "FIRMWARE/dsccmd.ini",
                                                          "FIRMWARE/vorm.bin"}));
        QVERIFY(ReadFile(machine_->cameraDrive() / "FIRMWARE/vorm.bin") == ReadFile("fw/vorm.bin"));
        QVERIFY(ReadFile(machine_->cameraDrive() / "FIRMWARE/dsccmd.ini") ==
                ReadFile("fw/dsccmd.ini"));
        // The bar was shown and rose to the end; the dialog is back at rest.
        QVERIFY(window.barValues.size() >= 2);
        QVERIFY(std::is_sorted(window.barValues.begin(), window.barValues.end()));
        QCOMPARE(window.barValues.front(), 0);
        QCOMPARE(window.barValues.back(), 100);
        QVERIFY(Child<QProgressBar>(window, "progressBar")->isHidden());
        QVERIFY(!Child<QLabel>(window, "notice")->isHidden());
    }

    void escapeDuringTheTransferKeepsTheOldFilesAndEndsTheDialog() {
        machine_->PlugCamera();
        std::filesystem::create_directories(machine_->cameraDrive() / "FIRMWARE");
        std::ofstream(machine_->cameraDrive() / "FIRMWARE/vorm.bin") << "old image";
        FastWindow window(machine_->roots());
        window.holdWorker = true;
        bool updateDisabled = false, statusWarns = false;
        window.onTransferShown = [&] {
            updateDisabled = !Child<QPushButton>(window, "updateButton")->isEnabled();
            statusWarns = Child<QLabel>(window, "progressStatus")
                              ->text()
                              .contains(Q(orvane::texts::kDoNotDisconnect));
            QTest::keyClick(&window, Qt::Key_Escape);
            window.workerGoOn.release();
        };
        WhenActive(window, [&] {
            QTest::mouseClick(Child<QPushButton>(window, "updateButton"), Qt::LeftButton);
        });
        QCOMPARE(window.exec(), IDCANCEL);
        QVERIFY(updateDisabled);
        QVERIFY(statusWarns);
        QCOMPARE(CameraFiles(), (std::vector<std::string>{"FIRMWARE", "FIRMWARE/vorm.bin"}));
        QCOMPARE(ReadFile(machine_->cameraDrive() / "FIRMWARE/vorm.bin"), std::string("old image"));
    }

    void aboutBoxOpensOverTheDialogAndTicksGoOn() {
        FastWindow window(machine_->roots());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QString title, version;
        QSize size;
        bool okIsDefault = false, foundWhileOpen = false;
        WhenShown<QDialog>([&](QDialog* about) {
            title = about->windowTitle();
            size = about->size();
            version = about->findChild<QLabel*>("aboutVersion")->text();
            okIsDefault = about->findChild<QPushButton*>("aboutOk")->isDefault();
            machine_->PlugCamera();
            auto* wait = new QTimer(about);
            QObject::connect(wait, &QTimer::timeout, about, [&, about] {
                if (!window.core().deviceFound()) return;
                foundWhileOpen = true;
                QTest::keyClick(about, Qt::Key_Return);  // presses OK, the default button
            });
            wait->start(5);
            QTimer::singleShot(3000, about, [about] { about->reject(); });
        });
        window.actions().at(1)->trigger();

        QCOMPARE(title, QStringLiteral("About Orvane"));
        QCOMPARE(version, QStringLiteral("Orvane Version 1.0"));
        QCOMPARE(size, QSize(353, 89));
        QVERIFY(okIsDefault);
        QVERIFY(foundWhileOpen);
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(UpdaterWindowTest)
#include "updater_window_test.moc"
