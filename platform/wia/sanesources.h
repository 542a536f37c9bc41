#pragma once

#include <QString>
#include <QStringList>

namespace pd::platform::wia {

// Part of the SANE layer only: how a device's source names map onto document handling values.
// Names differ by backend ("Flatbed", "ADF", "Automatic Document Feeder", "ADF Duplex", "ADF
// Front", "Document Table" ...), so they are told apart by words, never by position.

bool IsFeederSource(const QString& source);
// FEEDER, FEEDER | DUPLEX, FLATBED, or 0 for a source of neither kind.
int SourceValue(const QString& source);
// The device's source for a handling value: the feeder (duplex preferred for FEEDER | DUPLEX,
// single-sided preferred for FEEDER) or the flatbed; empty when the device has none.
QString SourceFor(const QStringList& sources, int value);

} // namespace pd::platform::wia
