#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// A home of its own for a test process that runs the fixture program: a fresh folder under
// /tmp holding home/ and records/ (where the fixture leaves <pid>.started and <pid>.terminated),
// with HOME, the XDG base folders below it and ZAV_FIXTURE_RECORD_DIR pointed into it, and no
// launch by a desktop entry inherited. Set up in main() before Qt or GLib start: GLib reads the
// user's folders once, so these variables stay the process's for its whole run. The folder goes
// in tearDown(), at the end of main(), or else with the object.
class ZAVTestSandbox {
public:
    ZAVTestSandbox() = default;
    ~ZAVTestSandbox() { tearDown(); }
    ZAVTestSandbox(const ZAVTestSandbox &) = delete;
    ZAVTestSandbox &operator=(const ZAVTestSandbox &) = delete;

    // `name` goes into the folder's name. False when the folders cannot be made.
    bool setUp(const char *name);
    // Removes the folder and all in it.
    void tearDown();

    QString root;
    QString home;    // $HOME
    QString records; // $ZAV_FIXTURE_RECORD_DIR

    // The fixture's record of `kind` ("started", "terminated") for process `pid`.
    QString record(qint64 pid, const char *kind) const;
    void clearRecords() const;
    // Starts `program`, a copy of the fixture, with `environment` ("NAME=value") added, and
    // waits (at most 5 s) until it records that it has started: only then does it answer a
    // quit request. Null when it does not get that far; the process is ended then.
    std::unique_ptr<QProcess> startFixture(const QString &program,
                                           const QStringList &environment = {},
                                           const std::function<void()> &childSetup = {}) const;
};
