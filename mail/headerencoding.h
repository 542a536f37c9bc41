#pragma once

#include <QByteArray>
#include <QString>

namespace pd::mail {

// Header field values of the message file. A CR or LF in a value becomes a blank, so a value can
// never start a header line of its own. Plain ASCII values are written unchanged otherwise.

// "Name: value" for unstructured text such as the subject. Text that is not plain ASCII becomes
// encoded words in UTF-8, each at most 75 characters, folded onto continuation lines that begin
// with a blank so that no line exceeds 76 characters.
QByteArray UnstructuredField(const char* name, const QString& value);

// "Name: value" for a list of addresses such as "To". In a value that is not plain ASCII only
// the display names of "Name <address>" mailboxes become encoded words; addresses are written as
// UTF-8 and never encoded.
QByteArray AddressField(const char* name, const QString& value);

// A file name as a parameter of a part header: name="file" with quotes and backslashes escaped;
// a name that is not plain ASCII as name*=utf-8''... with percent escapes.
QByteArray FileNameParameter(const char* name, const QString& fileName);

} // namespace pd::mail
