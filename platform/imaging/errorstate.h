#pragma once

#include <QString>

namespace pd::platform::imaging {

// The library's error codes; 0 means no error.
enum ErrorCode : int {
    kNoError = 0,
    kCannotCreateFile = 1, // the target folder cannot take the file
    kWriteFailed = 2, // the file could not be written; it is discarded
    kBadPageImage = 3, // a page image the library does not take; the page is left out
    kEncodingFailed = 4, // a page could not be compressed; the page is left out
    kNoFileOpen = 5, // a file operation without a file begun
    kCannotCompleteFile = 6, // the finished file could not be put at its path
    kNoScanner = 7, // no scanner connected, or the default one cannot be opened
    kScanFailed = 8, // the scanner reported an error while scanning
    kFeederEmpty = 9, // a feeder scan found no paper in the feeder
};

// The first error of a file sticks until the file's end has reported it; an error that came after
// that report replaces it. BeginFile clears it.
void SetLastError(ErrorCode code, const QString& description);
void ClearLastError();
// The file's end has handed the error to its caller.
void MarkLastErrorReported();
ErrorCode LastError();
// The library's own description of the last error; empty when there is none.
QString LastErrorDescription();

} // namespace pd::platform::imaging
