#pragma once

#include <QString>

namespace pd::mail {

// A text as a mailto: URI value (RFC 6068): UTF-8, every byte outside the unreserved characters
// of RFC 3986 percent-encoded (a blank as %20, never "+"), "@" kept where keepAt is set (the
// address part). Line breaks of any kind become %0D%0A.
QString EncodeMailtoValue(const QString& text, bool keepAt = false);

// "mailto:RECIPIENT?subject=…&body=…", with "&attach=PATH" when attachmentPath is not empty.
// An empty recipient leaves the address part empty.
QString MailtoUri(
    const QString& recipient, const QString& subject, const QString& body, const QString& attachmentPath = {});

} // namespace pd::mail
