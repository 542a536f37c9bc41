#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pd::platform {

enum class TextEncoding {
    Ansi, // the user's ANSI code page, no byte-order mark
    Utf8Bom,
    Utf16LeBom,
    Utf16BeBom,
};

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Ansi;
};

// Decodes file bytes: a UTF-8, UTF-16 LE or UTF-16 BE byte-order mark selects that encoding
// (the mark itself is not part of the text), anything else is read in the ANSI code page.
// Never fails: invalid sequences become U+FFFD, an odd trailing byte of UTF-16 is dropped.
DecodedText DecodeText(const QByteArray& bytes);

// Encodes text for a file in the given encoding, with the byte-order mark where it has one. ANSI
// text whose bytes would begin like a byte-order mark is written in UTF-8 with its mark, so that
// it reads back as the same text.
QByteArray EncodeText(const QString& text, TextEncoding encoding);

// Reads a regular file whole and decodes it as DecodeText does. Empty when the path is not a
// regular file or cannot be read (a folder, a FIFO, missing, no permission).
std::optional<DecodedText> ReadTextFile(const QString& path);

// Replaces the file whole with the text in the given encoding: written to a temporary file in
// the same folder and renamed over the old one, so a failure never leaves it half written.
// False (with a reason in *error when given) when the file could not be written.
bool WriteTextFile(
    const QString& path, const QString& text, TextEncoding encoding = TextEncoding::Ansi, QString* error = nullptr);

// Replaces the file whole with the bytes, the same way: a temporary file in the same folder
// (without a name where the file system allows, so a process killed on the way leaves nothing
// beside the old file), flushed to disk, then put in the old one's place. A device, FIFO or
// socket at the path is left alone and the write fails.
bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Why no new file can take the path's place: "is a folder", or "is not a regular file" for a
// device, FIFO or socket there (also behind a link). Nothing when the path is free or a file.
std::optional<QString> PathInTheWay(const QString& path);

// Appends one line (ending in a line break) to a regular file, creating the file and, with
// createFolders, its missing folders. The line goes in with one append-mode write, whole or not at
// all: a write cut short (full disk, file size limit) is taken back. A file that ends inside a line
// (a process was killed while writing it) first gets closeCutLine, so the new line stands on its
// own. Never blocks: a FIFO or device in the file's place is not written. False when the line was
// not written.
bool AppendLineWhole(const QString& path, const QByteArray& line, const QByteArray& closeCutLine, bool createFolders);

// Splits text into lines: CR, LF and CR LF each end a line. A final line break does not add an
// empty last line; empty text gives no lines.
QStringList SplitLines(const QString& text);

} // namespace pd::platform
