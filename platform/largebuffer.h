#pragma once

#include <QByteArray>

namespace pd::platform {

// Reserves room for capacity bytes in a buffer that is about to be filled once, front to back
// (a message composed in memory). The untouched part is backed by large pages where the system
// offers them, which saves most of the page faults of filling it; elsewhere this is a reserve().
void ReserveLargeBuffer(QByteArray& bytes, qsizetype capacity);

} // namespace pd::platform
