#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "scan/scandispatcher.h"

namespace pd::scan::test {

// One page as the fake scanner hands it over: the BMP bytes, or a transfer that fails.
struct FakePage {
    QByteArray bmp;
    bool fails = false;
};

// A scanner of the fake: what lies in its feeder and on its glass, and how it misbehaves.
struct FakeScanner {
    QString id = QStringLiteral("fake:0");
    int type = 1;
    bool hasFeeder = true;
    std::deque<FakePage> feeder; // taken from the front while the feeder is selected
    std::deque<FakePage> flatbed; // one per flatbed transfer; none left fails the transfer
    bool feederProbeFails = false; // asking whether paper is ready raises (a jam)
    bool listed = true; // false: not in the device list
    bool vanishesWhenChosen = false; // leaves the device list once the user has picked it
};

// The scanner objects of a test, installed for the lifetime of the object in place of the real
// ones, with a record of what the acquisition did.
class FakeWia {
public:
    FakeWia();
    ~FakeWia();
    FakeWia(const FakeWia&) = delete;
    FakeWia& operator=(const FakeWia&) = delete;

    std::vector<FakeScanner> scanners;
    // The device list's answer: the ID of the device picked, or nullopt for cancel.
    std::optional<QString> choice;
    // Answers of the page question in turn; 2 (no) once they run out.
    std::deque<int> answers;
    // Runs at every transfer, before the page is handed over.
    std::function<void()> onTransfer;

    // What happened, in order: "choose", "6147=150", "3088=5", "transfer feeder", "transfer
    // flatbed", "question", "report Unable to combine files." ...
    QStringList events;
    int deviceManagers = 0; // device managers created

    int Count(const QString& event) const { return int(events.count(event)); }

private:
    ScanPlatform m_previous;
};

} // namespace pd::scan::test
