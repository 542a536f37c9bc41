#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "tests/support/testsupport.h"

namespace pd::test {

// A desktop of the test's own: private XDG data and config folders (no system desktop files),
// a home folder and temporary folder, a generic desktop for xdg-mime, and a bin folder first on
// PATH for fake programs that record their argument vector.
class FakeDesktop {
public:
    FakeDesktop();

    QString Path() const { return m_temp.Path(); }
    QString File(const QString& relative) const { return m_temp.File(relative); }
    QString Bin(const QString& name) const { return File(QStringLiteral("bin/") + name); }

    // A program in the bin folder (or at an absolute path) that records its arguments, then
    // runs tail (shell lines). Returns its path.
    QString Program(const QString& name, const QByteArray& tail = "exit 0");
    // The arguments the program of that file name was last started with; empty when it was not.
    QStringList Recorded(const QString& name) const;
    bool WasStarted(const QString& name) const;
    void ForgetRecords();

    // A desktop file in the private data folder.
    void DesktopFile(const QString& id, const QByteArray& exec, const QByteArray& extraLines = {});
    // The default applications in the private mimeapps.list: one line each, "type=id;".
    void Defaults(const QByteArray& lines);

private:
    TempFolder m_temp;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

} // namespace pd::test
